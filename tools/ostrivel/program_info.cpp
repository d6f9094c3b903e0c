#include "program_info.h"

#include <filesystem>
#include <system_error>

#include "curve_dispatch.h"
#include "plugin_library.h"

#ifndef OSTRIVEL_VERSION
#define OSTRIVEL_VERSION "unknown"
#endif
#ifndef OSTRIVEL_BUILD_TYPE
#define OSTRIVEL_BUILD_TYPE "unknown"
#endif

namespace ostrivel {

namespace {

namespace fs = std::filesystem;

fs::path programFolder() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : program.parent_path();
}

}  // namespace

std::string versionText() {
    namespace kernels = quelvarn::kernels;
    const int level = kernels::selectIsaLevel();
    std::error_code error;
    const fs::path plugin = fs::absolute(PluginLibrary::defaultPath(), error).lexically_normal();
    return std::string("ostrivel ") + OSTRIVEL_VERSION + " (" + OSTRIVEL_BUILD_TYPE + " build)\n" +
           "curve kernel: the " + kernels::buildNameForLevel(level) + " build, for this processor's " +
           kernels::isaLevelName(level) + "\n" + "plug-in: " + plugin.string() +
           (fs::exists(plugin, error) ? "" : " (missing)");
}

std::string defaultPluginDisplay() {
    const fs::path plugin = PluginLibrary::defaultPath();
    const fs::path folder = programFolder();
    if (!plugin.is_absolute() || folder.empty()) return plugin.string();
    return "<ostrivel's folder>/" + plugin.lexically_relative(folder).string();
}

}  // namespace ostrivel
