#pragma once
// Scene tests start from the small fixtures in data/ and write their variants to a
// private temporary folder.

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "read_text.h"
#include "scene.h"
#include "test_support.h"

namespace scene_testing {

using Json = nlohmann::json;

inline std::string dataPath(const std::string& name) { return std::string(SCENE_DATA_DIR) + "/" + name; }

inline Json loadJson(const std::string& path) { return Json::parse(std::ifstream(path)); }

// A result's "points" as the host's points.
inline std::vector<KxPoint> jsonPoints(const Json& points) {
    std::vector<KxPoint> read;
    for (const Json& p : points) read.push_back({p[0].get<double>(), p[1].get<double>(), p[2].get<double>()});
    return read;
}

inline void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

inline const std::vector<AttributeSpec>& declarations() {
    static ostrivel::DeformerNode node(testing_support::plugin(), "declarations");
    return node.declarations();
}

// The message of the HostError (SceneError included) that `run` throws, or "(accepted)".
inline std::string refusal(const std::function<void()>& run) {
    try {
        run();
    } catch (const ostrivel::HostError& error) {
        return error.what();
    }
    return "(accepted)";
}

// A fresh folder per test, removed afterwards.
class SceneFolder : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::quietLog();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 ("scene_tests-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string path(const std::string& name) const { return (folder / name).string(); }
    std::string write(const std::string& name, const Json& scene) const {
        writeText(path(name), scene.dump());
        return path(name);
    }
    ostrivel::Scene read(const std::string& scenePath) const { return ostrivel::readScene(scenePath, declarations()); }
    ostrivel::Scene read(const Json& scene) const { return read(write("scene.json", scene)); }

    std::filesystem::path folder;
};

}  // namespace scene_testing
