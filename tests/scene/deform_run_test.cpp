// Whole deform runs: binding, evaluation, failures the node reports, and the result file.

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstring>
#include <regex>

#include "deform_job.h"
#include "result.h"
#include "scene_fixtures.h"

using namespace scene_testing;
using ostrivel::DeformJob;
using ostrivel::runDeform;

namespace {

class DeformRun : public SceneFolder {
protected:
    // Runs a scene file and returns the result file's JSON (null when none was written).
    Json run(const std::string& scenePath, int expectedExit, int repeat = 1) {
        DeformJob job;
        job.scenePath = scenePath;
        job.outPath = path("result.json");
        job.repeat = repeat;
        std::filesystem::remove(job.outPath);
        EXPECT_EQ(runDeform(job), expectedExit) << scenePath;
        return std::filesystem::exists(job.outPath) ? loadJson(job.outPath) : Json();
    }
    Json run(const Json& scene, int expectedExit, int repeat = 1) {
        return run(write("scene.json", scene), expectedExit, repeat);
    }
};

TEST_F(DeformRun, BindsUnboundScenesThenDeformsAndReportsTheBindInTheResult) {
    const Json scene = loadJson(dataPath("plane.json"));
    const Json result = run(dataPath("plane.json"), 0);
    EXPECT_EQ(result["status"], 0);
    EXPECT_EQ(result["uparams"].size(), 5u);
    EXPECT_EQ(result["vparams"].size(), 5u);
    EXPECT_EQ(result["messages"], Json::parse(R"([{"type": "info", "text": "U/V params have been reset"}])"));
    ASSERT_EQ(result["points"].size(), 5u);
    EXPECT_NE(result["points"], scene["points"]);  // the profile curves move every point
    for (const Json& u : result["uparams"]) {
        EXPECT_GT(u.get<double>(), 0.0);
        EXPECT_LT(u.get<double>(), 1.0);
    }

    // Given one parameter array only, both are bound again for every point.
    Json halfBound = scene;
    halfBound["attributes"]["uparams"] = {0.5};
    const Json rebound = run(halfBound, 0);
    EXPECT_EQ(rebound["uparams"], result["uparams"]);
    EXPECT_EQ(rebound["points"], result["points"]);

    // Bound explicitly with the same parameters, the run skips binding and matches.
    Json bound = scene;
    bound["attributes"]["uparams"] = result["uparams"];
    bound["attributes"]["vparams"] = result["vparams"];
    const Json explicitRun = run(bound, 0);
    EXPECT_EQ(explicitRun["messages"], Json::array());
    EXPECT_EQ(explicitRun["points"], result["points"]);
}

TEST_F(DeformRun, CurveEqualToItsRestCopyLeavesMeshPointsExactlyInPlace) {
    const ostrivel::Scene scene = ostrivel::readScene(dataPath("plane_obj.json"), declarations());
    const Json result = run(dataPath("plane_obj.json"), 0);
    EXPECT_EQ(result["status"], 0);
    ASSERT_EQ(result["points"].size(), scene.points.size());
    for (size_t k = 0; k < scene.points.size(); ++k) {
        EXPECT_EQ(result["points"][k][0].get<double>(), scene.points[k].x);
        EXPECT_EQ(result["points"][k][1].get<double>(), scene.points[k].y);
        EXPECT_EQ(result["points"][k][2].get<double>(), scene.points[k].z);
    }
}

TEST_F(DeformRun, NodeFailuresStillWriteTheResultAndStopRepeats) {
    const Json result = run(dataPath("empty_curve.json"), 1, 3);
    EXPECT_EQ(result["status"], 1);
    EXPECT_EQ(result["points"], loadJson(dataPath("empty_curve.json"))["points"]);  // untouched
    ASSERT_EQ(result["messages"].size(), 2u);  // the bind, then one failed evaluation of three asked for
    EXPECT_EQ(result["messages"][0]["text"], "U/V params have been reset");
    EXPECT_EQ(result["messages"][1]["type"], "error");
    EXPECT_THAT(result["messages"][1]["text"].get<std::string>(),
                ::testing::MatchesRegex("quelvarn1: ASSERT error \\(.*:[0-9]+\\): curve is NULL"));

    // Every repeat starts from the scene's points; the cached evaluations agree with the first.
    const Json once = run(dataPath("plane.json"), 0, 1);
    const Json thrice = run(dataPath("plane.json"), 0, 3);
    EXPECT_EQ(thrice["status"], 0);
    EXPECT_EQ(thrice["messages"].size(), 1u);
    EXPECT_EQ(thrice["points"], once["points"]);
    EXPECT_NE(once["points"], loadJson(dataPath("plane.json"))["points"]);
}

TEST_F(DeformRun, DenseAndSparseMapsGiveTheSameResult) {
    Json dense = loadJson(dataPath("plane.json"));
    dense["attributes"]["pushMap"] = {0.1, 0.3, 0.5, 0.7, 0.9};
    dense["attributes"]["dmap"] = {1.0, 0.25, 0.5, 0.0, 0.75};
    Json sparse = dense;
    sparse["attributes"]["pushMap"] = {{"indices", {4, 3, 2, 1, 0}}, {"values", {0.9, 0.7, 0.5, 0.3, 0.1}}};
    sparse["attributes"]["dmap"] = {{"indices", {3, 1, 0, 2, 4}}, {"values", {0.0, 0.25, 1.0, 0.5, 0.75}}};
    const Json fromDense = run(dense, 0);
    const Json fromSparse = run(sparse, 0);
    EXPECT_EQ(fromDense, fromSparse);
    EXPECT_NE(fromDense["points"], run(dataPath("plane.json"), 0)["points"]);  // the maps matter
}

TEST_F(DeformRun, RefusedScenesLeaveAnEarlierResultUntouched) {
    writeText(path("result.json"), "earlier result\n");
    DeformJob job;
    job.scenePath = dataPath("start_param_out_of_range.json");
    job.outPath = path("result.json");
    try {
        runDeform(job);
        ADD_FAILURE() << "accepted";
    } catch (const ostrivel::SceneError& error) {
        EXPECT_EQ(std::string(error.what()),
                  job.scenePath + ": attributes.startParam: 1.5 is outside its range 0 to 1");
    }
    EXPECT_EQ(readText(path("result.json")), "earlier result\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);  // no partial file either

    job.scenePath = dataPath("plane.json");
    job.outPath = path("no/such/folder/result.json");
    EXPECT_THROW(runDeform(job), ostrivel::HostError);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST(ResultFile, NumbersReadBackBitForBit) {
    ostrivel::DeformResult result;
    result.status = 1;
    result.points = {{0.1 + 0.2, 1e-300, -0.0}, {1.0 / 3.0, 123456789.123456789, -2.5e-17}};
    result.uparams = {0.1f, 1.0f / 3.0f};
    result.vparams = {};
    result.messages = {{hostapi::LoggedMessage::Kind::Error, "node: \"quoted\" failure"}};
    const std::string text = ostrivel::resultJson(result);
    EXPECT_NE(text.find("0.30000000000000004"), std::string::npos) << text;
    EXPECT_NE(text.find(R"({"type":"error","text":"node: \"quoted\" failure"})"), std::string::npos) << text;

    const Json back = Json::parse(text);
    EXPECT_EQ(back["status"], 1);
    for (size_t p = 0; p < result.points.size(); ++p) {
        const double* xyz = &result.points[p].x;
        for (size_t c = 0; c < 3; ++c) {
            const double read = back["points"][p][c].get<double>();
            EXPECT_EQ(std::memcmp(&read, xyz + c, sizeof read), 0) << p << " " << c;  // -0.0 keeps its sign
        }
    }
    EXPECT_EQ(static_cast<float>(back["uparams"][0].get<double>()), 0.1f);
    EXPECT_EQ(static_cast<float>(back["uparams"][1].get<double>()), 1.0f / 3.0f);
    EXPECT_EQ(back["vparams"], Json::array());
}

}  // namespace
