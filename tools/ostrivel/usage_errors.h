#pragma once
// Command lines with a typo: the first word that names no command or option, reported
// with the nearest valid name. Everything is read from the CLI11 app itself, so commands
// and options added later are covered without a list to keep up to date.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace ostrivel {

// The one candidate that `typed` begins, else the closest by edit distance (a swap of
// neighbours counts once); empty when none is close enough to be what was meant.
std::string nearestName(const std::string& typed, const std::vector<std::string>& candidates);

// "unknown command 'deforn'; did you mean 'deform'?" or "deform: unknown option '--ouput';
// did you mean '--out'?" for the first unknown word of `args` (the words after the program
// name); empty when every command and option word is known.
std::string unknownNameError(CLI::App& app, const std::vector<std::string>& args);

}  // namespace ostrivel
