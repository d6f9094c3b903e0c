#pragma once
// SHA-256 digests as 64 lower-case hex digits: the fingerprints a farmed shot records for
// its binary, plug-in and frozen scene, and the manifest records for every frame.
#include <string>

namespace ostrivel {

// Throws HostError ("cannot read PATH: reason") when the file cannot be read.
std::string sha256OfFile(const std::string& path);

std::string sha256OfText(const std::string& text);

}  // namespace ostrivel
