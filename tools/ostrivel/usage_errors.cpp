#include "usage_errors.h"

#include <algorithm>
#include <cctype>

namespace ostrivel {

namespace {

// Optimal string alignment distance: insertions, deletions, substitutions and swaps of
// two neighbouring letters each cost one.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

bool isNumber(const std::string& word) {
    size_t used = 0;
    try {
        std::stod(word, &used);
    } catch (...) {
        return false;
    }
    return used == word.size();
}

std::vector<std::string> optionNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
        for (const std::string& name : option->get_snames()) names.push_back("-" + name);
    }
    return names;
}

std::string suggestion(const std::string& typed, const std::vector<std::string>& candidates) {
    const std::string nearest = nearestName(typed, candidates);
    return nearest.empty() ? "" : "; did you mean '" + nearest + "'?";
}

// The first option word of a command's arguments that it does not know.
std::string unknownOption(CLI::App& command, const std::string& commandPath, const std::vector<std::string>& args,
                          size_t from, const std::string& prefix) {
    for (size_t k = from; k < args.size(); ++k) {
        const std::string& word = args[k];
        if (word == "--") break;  // the rest are positionals
        if (word.size() < 2 || word[0] != '-' || isNumber(word)) continue;
        const bool isLong = word.compare(0, 2, "--") == 0;
        const size_t equals = word.find('=');
        const std::string name = isLong ? word.substr(0, equals) : word.substr(0, 2);  // -qv: -q, then CLI11's turn
        const CLI::Option* option = command.get_option_no_throw(name);
        if (!option) {
            const std::string hint = suggestion(name, optionNames(command));
            return prefix + "unknown option '" + name + "'" +
                   (hint.empty() ? "; run '" + commandPath + " --help' for the options" : hint);
        }
        const bool takesValue = option->get_type_size_max() > 0;
        const bool valueAttached = isLong ? equals != std::string::npos : word.size() > 2;
        if (takesValue && !valueAttached) ++k;
    }
    return "";
}

}  // namespace

std::string nearestName(const std::string& typed, const std::vector<std::string>& candidates) {
    // A typo keeps most of the letters: at most a third changed (two for short words), and
    // never all of them ("-q" is no typo of "-h").
    const size_t letters = typed.size() - std::min(typed.find_first_not_of('-'), typed.size());
    if (letters == 0) return "";
    std::string shortened;  // --rep for --repeat, when only one name begins that way
    for (const std::string& candidate : candidates) {
        if (letters >= 3 && candidate.compare(0, typed.size(), typed) == 0)
            shortened = shortened.empty() ? candidate : "-";
    }
    if (!shortened.empty() && shortened != "-") return shortened;
    std::string best;
    size_t bestDistance = std::min(std::max<size_t>(2, letters / 3), letters - 1) + 1;
    for (const std::string& candidate : candidates) {
        const size_t distance = editDistance(typed, candidate);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

std::string unknownNameError(CLI::App& app, const std::vector<std::string>& args) {
    if (args.empty()) return "";
    const std::string& first = args[0];
    if (first.size() > 1 && first[0] == '-') return unknownOption(app, app.get_name(), {first}, 0, "");
    std::vector<std::string> commands;
    CLI::App* command = nullptr;
    for (CLI::App* candidate : app.get_subcommands([](CLI::App*) { return true; })) {
        commands.push_back(candidate->get_name());
        if (candidate->check_name(first)) command = candidate;
    }
    if (!command) {
        const std::string hint = suggestion(first, commands);
        return "unknown command '" + first + "'" +
               (hint.empty() ? "; run '" + app.get_name() + " --help' for the command list" : hint);
    }
    return unknownOption(*command, app.get_name() + " " + command->get_name(), args, 1, command->get_name() + ": ");
}

}  // namespace ostrivel
