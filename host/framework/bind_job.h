#pragma once
// `ostrivel bind`: binds a scene's points to its surface once and writes the scene back
// with explicit "uparams" and "vparams", so later runs skip the closest-point search.

#include <string>

#include "feedback.h"
#include "plugin_library.h"

namespace ostrivel {

struct BindJob {
    std::string scenePath;
    std::string outPath;
    std::string pluginPath = PluginLibrary::defaultPath();
    Feedback feedback;
};

// The line bind refuses a scene with a null surface with.
std::string nullSurfaceRefusal(const std::string& scenePath);

// 0 when the bound scene was written, 1 when the node refused to bind (nothing written).
// Throws HostError for a refused scene or an unwritable output.
int runBind(const BindJob& job);

}  // namespace ostrivel
