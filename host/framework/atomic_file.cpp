#include "atomic_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "plugin_library.h"

namespace ostrivel {

namespace {

[[noreturn]] void fail(const std::string& path, int error) {
    throw HostError("cannot write " + path + ": " + std::error_code(error, std::generic_category()).message());
}

void writeStream(const std::string& path, const std::string& content, const std::string& reported) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    if (!file) fail(reported, errno ? errno : EIO);
}

}  // namespace

void writeFileAtomically(const std::string& path, const std::string& content) {
    namespace fs = std::filesystem;
    std::error_code error;  // a path that does not exist yet is no error here
    // A link is written through, to the file it names, and keeps being a link.
    fs::path target = path;
    if (fs::is_symlink(fs::symlink_status(path, error))) {
        target = fs::weakly_canonical(path, error);
        if (error) fail(path, error.value());
    }
    // Devices and pipes cannot be replaced by a rename: write into them directly.
    const fs::file_status status = fs::status(target, error);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        writeStream(target.string(), content, path);
        return;
    }
    const std::string temporary = target.string() + ".partial-" + std::to_string(::getpid());
    try {
        writeStream(temporary, content, path);
    } catch (...) {
        std::remove(temporary.c_str());
        throw;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        std::remove(temporary.c_str());
        fail(path, renameError);
    }
}

void createOutputFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) throw HostError("cannot create folder " + path + ": " + error.message());
}

void refuseOverwritingInput(const std::string& outPath, const std::string& inputPath) {
    std::error_code error;
    if (!inputPath.empty() && std::filesystem::equivalent(outPath, inputPath, error))
        throw HostError("refusing to write " + outPath + ": it is the input " + inputPath);
}

}  // namespace ostrivel
