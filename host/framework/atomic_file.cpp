#include "atomic_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "plugin_library.h"

namespace ostrivel {

namespace {
[[noreturn]] void fail(const std::string& path, const std::string& temporary, int error) {
    std::remove(temporary.c_str());
    throw HostError("cannot write " + path + ": " + std::error_code(error, std::generic_category()).message());
}
}  // namespace

void writeFileAtomically(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".partial-" + std::to_string(::getpid());
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(content.data(), static_cast<std::streamsize>(content.size()));
        file.close();
        if (!file) fail(path, temporary, errno);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) fail(path, temporary, errno);
}

}  // namespace ostrivel
