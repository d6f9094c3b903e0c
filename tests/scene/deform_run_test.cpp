// Whole deform runs: binding, evaluation, failures the node reports, and the result file.

#include <gtest/gtest.h>

#include <cstring>

#include "deform_job.h"
#include "result.h"
#include "scene_fixtures.h"

using namespace scene_testing;
using ostrivel::DeformJob;

namespace {

class DeformRun : public SceneFolder {
protected:
    // Runs a scene and returns the result file's JSON (null when none was written).
    Json run(const std::string& scenePath, int expectedExit, int repeat = 1) {
        DeformJob job;
        job.scenePath = scenePath;
        job.outPath = path("result.json");
        job.repeat = repeat;
        std::filesystem::remove(job.outPath);
        EXPECT_EQ(ostrivel::runDeform(job), expectedExit) << scenePath;
        return std::filesystem::exists(job.outPath) ? loadJson(job.outPath) : Json();
    }
    Json run(const Json& scene, int expectedExit) { return run(write("scene.json", scene), expectedExit); }
};

TEST_F(DeformRun, BindsUnboundScenesThenDeformsAndReportsTheBindInTheResult) {
    const Json scene = loadJson(dataPath("plane.json"));
    const Json result = run(dataPath("plane.json"), 0);
    EXPECT_EQ(result["vparams"].size(), 5u);
    EXPECT_EQ(result["messages"], Json::parse(R"([{"type": "info", "text": "U/V params have been reset"}])"));
    ASSERT_EQ(result["points"].size(), 5u);
    ASSERT_EQ(result["uparams"].size(), 5u);
    for (const Json& u : result["uparams"]) EXPECT_TRUE(u > 0.0 && u < 1.0) << u;

    // Given one parameter array only, both are bound again for every point.
    Json bound = scene;
    bound["attributes"]["uparams"] = {0.5};
    const Json rebound = run(bound, 0);
    EXPECT_EQ(rebound["uparams"], result["uparams"]);
    EXPECT_EQ(rebound["points"], result["points"]);

    // Every repeat starts from the scene's points; the cached evaluations agree with the first.
    const Json thrice = run(dataPath("plane.json"), 0, 3);
    EXPECT_EQ(thrice["messages"], result["messages"]);
    EXPECT_EQ(thrice["points"], result["points"]);

    // Dense and sparse maps give the same result, and the maps matter.
    Json dense = scene;
    dense["attributes"]["pushMap"] = {0.1, 0.3, 0.5, 0.7, 0.9};
    dense["attributes"]["dmap"] = {1.0, 0.25, 0.5, 0.0, 0.75};
    Json sparse = scene;
    sparse["attributes"]["pushMap"] = {{"indices", {4, 3, 2, 1, 0}}, {"values", {0.9, 0.7, 0.5, 0.3, 0.1}}};
    sparse["attributes"]["dmap"] = {{"indices", {3, 1, 0, 2, 4}}, {"values", {0.0, 0.25, 1.0, 0.5, 0.75}}};
    const Json fromDense = run(dense, 0);
    EXPECT_EQ(fromDense, run(sparse, 0));
    EXPECT_NE(fromDense["points"], result["points"]);
}

TEST_F(DeformRun, NodeFailuresStillWriteTheResultAndStopRepeats) {
    // The message itself and the status: the node_failure command test.
    const Json result = run(dataPath("empty_curve.json"), 1, 3);
    EXPECT_EQ(result["points"], loadJson(dataPath("empty_curve.json"))["points"]);  // untouched
    ASSERT_EQ(result["messages"].size(), 2u);  // the bind, then one failed evaluation of three asked for
    EXPECT_EQ(result["messages"][0]["text"], "U/V params have been reset");
    EXPECT_EQ(result["messages"][1]["type"], "error");
}

TEST(ResultFile, NumbersReadBackBitForBit) {
    ostrivel::DeformResult result;
    result.status = 1;
    result.points = {{0.1 + 0.2, 1e-300, -0.0}, {1.0 / 3.0, 123456789.123456789, -2.5e-17}};
    result.uparams = {0.1f, 1.0f / 3.0f};
    result.messages = {{hostapi::LoggedMessage::Kind::Error, "node: \"quoted\" failure"}};
    const std::string text = ostrivel::resultJson(result);
    EXPECT_NE(text.find("0.30000000000000004"), std::string::npos) << text;
    EXPECT_NE(text.find(R"({"type":"error","text":"node: \"quoted\" failure"})"), std::string::npos) << text;

    const Json back = Json::parse(text);
    const std::vector<KxPoint> points = jsonPoints(back["points"]);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(std::memcmp(points.data(), result.points.data(), sizeof(KxPoint) * 2), 0);  // -0.0 keeps its sign
    EXPECT_EQ(static_cast<float>(back["uparams"][1].get<double>()), 1.0f / 3.0f);
    EXPECT_EQ(back["vparams"], Json::array());
}

}  // namespace
