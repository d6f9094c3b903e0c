#pragma once
// A whole file as text (empty when it cannot be read).

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string readText(const std::filesystem::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}
