#pragma once
// Output files are written under a temporary name in the same folder and renamed into
// place, so a failed run never leaves a half-written file and never touches what was there.
#include <string>

namespace ostrivel {

// Throws HostError ("cannot write PATH: reason") when the file cannot be written.
void writeFileAtomically(const std::string& path, const std::string& content);

}  // namespace ostrivel
