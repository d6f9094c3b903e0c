// The README agrees with the program: its synopsis names exactly the commands and options
// that --help lists (on stdout, exit 0), every command's --help ends with examples, and
// every file the README names exists in the project or is made by a command it shows.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "read_text.h"

namespace fs = std::filesystem;

namespace {

using Names = std::set<std::string>;

// What `ostrivel ARGUMENTS` prints on stdout; it must exit 0.
std::string helpOf(const std::string& arguments) {
    std::string output;
    FILE* pipe = popen((std::string(OSTRIVEL_PROGRAM) + " " + arguments).c_str(), "r");
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << arguments;
    return output;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) all.push_back(line);
    return all;
}

// The first word of each indented line of a --help section ("Options:", "Subcommands:").
std::vector<std::string> section(const std::string& help, const std::string& title) {
    std::vector<std::string> words;
    bool inside = false;
    for (const std::string& line : lines(help)) {
        if (line.empty() || line[0] != ' ') inside = line == title;
        else if (inside && line.size() > 2 && line[2] != ' ') words.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return words;
}

// One option's names: "-q,--quiet" gives {-q, --quiet}.
Names optionGroup(const std::string& word) {
    Names names;
    std::stringstream parts(word);
    for (std::string name; std::getline(parts, name, ',');) names.insert(name);
    return names;
}

// The lines of the README's code blocks, comments dropped.
std::vector<std::string> codeLines(const std::string& readme) {
    std::vector<std::string> code;
    bool inside = false;
    for (const std::string& line : lines(readme)) {
        if (line.rfind("```", 0) == 0) inside = !inside;
        else if (inside) code.push_back(line.substr(0, line.find(" #")));
    }
    return code;
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> all;
    std::istringstream stream(line);
    for (std::string word; stream >> word;) all.push_back(word);
    return all;
}

TEST(Readme, SynopsisNamesExactlyTheCommandsAndOptionsOfHelp) {
    const std::string readme = readText(fs::path(PROJECT_DIR) / "README.md");
    std::map<std::string, Names> synopsis;  // command ("" for the program) -> option names
    const std::regex option("(^|[\\s\\[|])(--?[A-Za-z][A-Za-z0-9-]*)");
    for (const std::string& line : codeLines(readme)) {
        const std::vector<std::string> w = words(line);
        if (w.size() < 2 || w[0] != "ostrivel") continue;
        const std::string command = w[1][0] == '-' ? "" : w[1];
        Names& names = synopsis[command];
        for (std::sregex_iterator it(line.begin(), line.end(), option), end; it != end; ++it) names.insert((*it)[2]);
    }

    const std::string top = helpOf("--help");
    Names commands;
    for (const std::string& command : section(top, "Subcommands:")) commands.insert(command);
    Names inReadme;
    for (const auto& [command, names] : synopsis) {
        if (!command.empty()) inReadme.insert(command);
    }
    EXPECT_EQ(inReadme, commands);

    Names programAndCommands = commands;
    programAndCommands.insert("");
    for (const std::string& command : programAndCommands) {
        SCOPED_TRACE("ostrivel " + command);
        const std::string help = command.empty() ? top : helpOf(command + " --help");
        Names listed;
        for (const std::string& word : section(help, "Options:")) {
            const Names group = optionGroup(word);
            if (!command.empty() && group.count("--help")) continue;  // every command has it
            bool named = false;
            for (const std::string& name : group) named = named || synopsis[command].count(name);
            EXPECT_TRUE(named) << word << " is not in the README's synopsis";
            listed.insert(group.begin(), group.end());
        }
        for (const std::string& name : synopsis[command])
            EXPECT_TRUE(listed.count(name)) << name << " is in the README but not in --help";
        if (command.empty()) continue;
        // Examples close every command's help.
        EXPECT_TRUE(std::regex_search(help, std::regex("\nExamples:\n(  [^\n]+\n){1,2}$"))) << help;
        EXPECT_NE(help.find("\n  ostrivel " + command), std::string::npos) << help;
    }
}

TEST(Readme, EveryFileItNamesExistsOrIsMadeByACommandItShows) {
    const fs::path project = PROJECT_DIR;
    const std::string readme = readText(project / "README.md");
    // The commands it shows, with the lines of the scripts they run.
    std::vector<std::string> shown = codeLines(readme);
    for (size_t k = 0; k < shown.size(); ++k) {
        const std::vector<std::string> w = words(shown[k]);
        if (w.size() >= 2 && w[0] == "bash" && fs::exists(project / w[1])) {
            for (const std::string& line : lines(readText(project / w[1]))) shown.push_back(line);
        }
    }
    Names made;
    bool animates = false;
    for (const std::string& line : shown) {
        const std::vector<std::string> w = words(line);
        for (size_t k = 0; k + 1 < w.size(); ++k) {
            if (w[k] == "--out" || w[k] == "--svg") made.insert(w[k + 1]);
        }
        if (line.find("make_bench_scene.py") != std::string::npos && !w.empty()) made.insert(w.back());
        animates = animates || line.find("ostrivel animate") != std::string::npos;
    }
    // What the demo writes, from the program itself.
    const fs::path demo = fs::path(WORK_DIR) / "readme_demo";
    fs::remove_all(demo);
    ASSERT_EQ(std::system((std::string(OSTRIVEL_PROGRAM) + " demo -q --evaluations 1 --out " + demo.string()).c_str()),
              0);
    for (const auto& entry : fs::recursive_directory_iterator(demo))
        made.insert(entry.path().filename().string());
    fs::remove_all(demo);

    // File names: words in backticks and in the code blocks.
    const std::regex fileName("^[A-Za-z0-9_./-]+\\.(json|obj|svg|py|sh|md)$");
    Names named;
    const std::regex quoted("`([^` ]+)`");
    for (std::sregex_iterator it(readme.begin(), readme.end(), quoted), end; it != end; ++it) named.insert((*it)[1]);
    for (const std::string& line : codeLines(readme)) {
        for (const std::string& word : words(line)) named.insert(word);
    }
    for (const std::string& name : named) {
        if (!std::regex_match(name, fileName)) continue;
        // Placeholders: SCENE.json, RESULT.json, and DIR/shot.json inside a command's --out DIR.
        const std::regex placeholder("[A-Z_]+(/.*|\\.[a-z]+)");
        if (std::regex_match(name, placeholder)) continue;
        bool underMade = made.count(name) > 0;
        for (const std::string& output : made) underMade = underMade || name.rfind(output + "/", 0) == 0;
        const bool frame = animates && std::regex_match(name, std::regex("frame_[0-9]+\\.obj"));
        EXPECT_TRUE(fs::exists(project / name) || underMade || frame) << name;
    }
}

}  // namespace
