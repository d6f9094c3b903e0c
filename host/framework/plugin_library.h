#pragma once
// A deformer plug-in loaded with dlopen: its three exports, resolved by their plain names.

#include <stdexcept>
#include <string>

#include "KxData.h"
#include "KxNode.h"

namespace ostrivel {

// Loading failures carry one line that names the library and what is wrong.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PluginLibrary {
public:
    using CreateFunction = KxNode* (*)();
    using CommandFunction = int (*)(AttributeMap&);

    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& path() const { return path_; }
    CreateFunction create = nullptr;
    CommandFunction help = nullptr;
    CommandFunction resetParams = nullptr;

    // The library that came with this binary: found relative to the binary itself, in an
    // installed tree (PREFIX/lib/quelvarn) or in the build tree, so a copy of either on
    // another machine works wherever it lies.
    static std::string defaultPath();

private:
    std::string path_;
    void* handle_ = nullptr;
};

}  // namespace ostrivel
