#include "plugin_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

// The plug-in's file name, where an installed tree keeps it beside this binary, where the
// build tree keeps it beside this binary, and its absolute build path (for programs that
// live elsewhere in the build tree, such as the tests).
#ifndef OSTRIVEL_PLUGIN_FILE
#define OSTRIVEL_PLUGIN_FILE "quelvarn_v005_2023.so"
#endif
#ifndef OSTRIVEL_INSTALLED_PLUGIN_DIR
#define OSTRIVEL_INSTALLED_PLUGIN_DIR "../lib/quelvarn"
#endif
#ifndef OSTRIVEL_BUILD_PLUGIN_DIR
#define OSTRIVEL_BUILD_PLUGIN_DIR "."
#endif
#ifndef OSTRIVEL_DEFAULT_PLUGIN
#define OSTRIVEL_DEFAULT_PLUGIN OSTRIVEL_PLUGIN_FILE
#endif

namespace ostrivel {

namespace {
void* resolve(void* handle, const std::string& path, const char* symbol) {
    dlerror();
    void* address = dlsym(handle, symbol);
    if (!address) throw HostError("plug-in " + path + " does not export '" + symbol + "'");
    return address;
}
}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    // Never unmapped: the plug-in's thread pool (and its worker threads) must outlive any
    // dlclose, so a closed plug-in stays loaded until the process ends.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle_) {
        const char* reason = dlerror();
        throw HostError("cannot load plug-in " + path + ": " + (reason ? reason : "unknown reason"));
    }
    try {
        create = reinterpret_cast<CreateFunction>(resolve(handle_, path, "create"));
        help = reinterpret_cast<CommandFunction>(resolve(handle_, path, "help"));
        resetParams = reinterpret_cast<CommandFunction>(resolve(handle_, path, "resetParams"));
    } catch (...) {
        dlclose(handle_);
        throw;
    }
}

PluginLibrary::~PluginLibrary() {
    if (handle_) dlclose(handle_);
}

std::string PluginLibrary::defaultPath() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        for (const char* folder : {OSTRIVEL_INSTALLED_PLUGIN_DIR, OSTRIVEL_BUILD_PLUGIN_DIR}) {
            const fs::path candidate = (self.parent_path() / folder / OSTRIVEL_PLUGIN_FILE).lexically_normal();
            if (fs::is_regular_file(candidate, error)) return candidate.string();
        }
    }
    return OSTRIVEL_DEFAULT_PLUGIN;
}

}  // namespace ostrivel
