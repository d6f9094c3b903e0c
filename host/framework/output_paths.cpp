#include "output_paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "atomic_file.h"
#include "plugin_library.h"

namespace ostrivel {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void cannotWrite(const std::string& path, int error) {
    throw HostError("cannot write " + path + ": " + std::error_code(error, std::generic_category()).message());
}

// Outputs are renamed into place from a temporary beside them: the folder must take a new
// file. Trying it is the only test that also holds for read-only mounts and ACLs.
void probeFolder(const fs::path& folder, const std::string& reported) {
    // Unique even among farm tasks on several hosts writing into one shared folder.
    char host[256] = "host";
    ::gethostname(host, sizeof host - 1);
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path probe = (folder.empty() ? fs::path(".") : folder) /
                           (".ostrivel-probe-" + std::string(host) + "-" + std::to_string(::getpid()) + "-" +
                            std::to_string(now));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) cannotWrite(reported, errno);
    ::close(fd);
    ::unlink(probe.c_str());
}

}  // namespace

void requireExtension(const std::string& option, const std::string& path, std::initializer_list<const char*> extensions) {
    const std::string extension = fs::path(path).extension().string();
    std::string allowed;
    size_t k = 0;
    for (const char* candidate : extensions) {
        if (extension == candidate) return;
        if (k > 0) allowed += k + 1 == extensions.size() ? " or " : ", ";
        allowed += candidate;
        ++k;
    }
    throw HostError(option + " " + path + ": the extension must be " + allowed);
}

void prepareOutputFile(const std::string& path) {
    std::error_code error;
    // A link is written through, so its target's folder is the one that must take a file.
    fs::path target = path;
    if (fs::is_symlink(fs::symlink_status(path, error))) target = fs::weakly_canonical(path, error);
    const fs::file_status status = fs::status(target, error);
    if (fs::is_directory(status)) cannotWrite(path, EISDIR);
    if (fs::exists(status) && !fs::is_regular_file(status)) {  // a device or pipe is written in place
        if (::access(target.c_str(), W_OK) != 0) cannotWrite(path, errno);
        return;
    }
    const fs::path folder = target.parent_path();
    if (!folder.empty()) createOutputFolder(folder.string());
    probeFolder(folder, path);
}

void prepareOutputFolder(const std::string& path) {
    createOutputFolder(path);
    probeFolder(path, path);
}

}  // namespace ostrivel
