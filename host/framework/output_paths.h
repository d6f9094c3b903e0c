#pragma once
// Every output a command names is checked before any work: its extension says what the
// command writes, its folders are created, and a location that cannot take a file is
// refused there and then, in one line, rather than after minutes of evaluation.

#include <initializer_list>
#include <string>

namespace ostrivel {

// Throws HostError ("--out r.xyz: the extension must be .json or .obj") unless `path`
// ends in one of the extensions (given with their dot).
void requireExtension(const std::string& option, const std::string& path, std::initializer_list<const char*> extensions);

// Creates the folders above an output file and makes sure a file can be made beside it;
// throws HostError ("cannot create folder ...", "cannot write PATH: reason").
void prepareOutputFile(const std::string& path);

// Creates an output folder and its parents and makes sure files can be made in it.
void prepareOutputFolder(const std::string& path);

}  // namespace ostrivel
