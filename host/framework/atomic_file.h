#pragma once
// Output files are written under a temporary name in the same folder and renamed into
// place, so a failed run never leaves a half-written file and never touches what was there.
#include <string>

namespace ostrivel {

// Throws HostError ("cannot write PATH: reason") when the file cannot be written. A symbolic
// link is written through; a device or pipe is written directly (there is nothing to rename).
void writeFileAtomically(const std::string& path, const std::string& content);

// Creates an output folder and its parents; throws HostError ("cannot create folder ...").
void createOutputFolder(const std::string& path);

// Throws HostError when `outPath` names the same file as `inputPath` (an input is never
// overwritten); nothing happens when either does not exist.
void refuseOverwritingInput(const std::string& outPath, const std::string& inputPath);

}  // namespace ostrivel
