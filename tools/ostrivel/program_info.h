#pragma once
// What `ostrivel --version` and `--help` say about this build and where it runs.

#include <string>

namespace ostrivel {

// The version, the build type, the curve-kernel build this processor gets and the plug-in
// loaded by default.
std::string versionText();

// The default plug-in as `--help` shows it: relative to the program's folder, as it is found
// at run time, rather than a path inside one build folder.
std::string defaultPluginDisplay();

}  // namespace ostrivel
