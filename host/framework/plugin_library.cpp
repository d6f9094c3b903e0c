#include "plugin_library.h"

#include <dlfcn.h>

#ifndef OSTRIVEL_DEFAULT_PLUGIN
#define OSTRIVEL_DEFAULT_PLUGIN "quelvarn_v005_2023.so"
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

std::string PluginLibrary::defaultPath() { return OSTRIVEL_DEFAULT_PLUGIN; }

}  // namespace ostrivel
