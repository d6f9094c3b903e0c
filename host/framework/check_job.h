#pragma once
// `ostrivel check`: reads a scene with the reader every command uses and says what it holds
// (geometry sizes, degrees, knot domains, which attributes and maps are given and in which
// form, whether the points are bound) and every problem as the other commands would report
// it. Nothing is evaluated and nothing is written.

#include <ostream>
#include <string>

#include "plugin_library.h"

namespace ostrivel {

struct CheckJob {
    std::string scenePath;
    std::string pluginPath = PluginLibrary::defaultPath();
    bool json = false;  // one JSON object instead of lines
};

// Prints the summary to `out` and each problem's error line to `errors`, exactly as the
// other commands print it; 0 when there is none, 2 otherwise. Throws HostError only for
// an unusable plug-in.
int runCheck(const CheckJob& job, std::ostream& out, std::ostream& errors);

}  // namespace ostrivel
