// What the scene reader refuses (one line naming the field) and what it hands to the node
// unchanged for the node to judge.

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <hostapi/objects.h>

#include "deformer_node.h"
#include "nurbs_geometry.h"
#include "scene_fixtures.h"

using namespace scene_testing;
using ::testing::ElementsAre;

namespace {

class SceneReader : public SceneFolder {
protected:
    std::string refused(const std::string& scenePath) const { return refusal([&] { read(scenePath); }); }
};

TEST_F(SceneReader, RefusesWhatCannotBecomeHostValuesNamingTheField) {
    const std::string inObj = "points: " + path("mesh.obj");  // refusals name the OBJ and its line
    const auto obj = [&](const std::string& text) { writeText(path("mesh.obj"), text); return path("mesh.obj"); };
    // Per-point counts and the range check also run through the command line (CommandLine, cli.deform_*).
    const std::pair<std::function<void(Json&)>, std::string> cases[] = {
        {[](Json& s) { s["points"][3] = {1, 2}; }, "points[3]: expected three numbers"},
        {[](Json& s) { s["points"][0][1] = "2"; }, "points[0]: expected three numbers"},
        {[](Json& s) { s["points"] = 7; }, "points: expected a list, got number"},
        {[](Json& s) { s["surface"]["cvs"].erase(15); },
         "surface.cvs: expected 16 control points (cvCountU 4 x cvCountV 4), got 15"},
        {[](Json& s) { s["surface"]["cvs"][2] = {1, 2}; }, "surface.cvs[2]: expected three or four numbers"},
        {[](Json& s) { s["surface"]["knotsU"].erase(0); },
         "surface.knotsU: expected 6 knots (cvCountU 4 + degreeU 3 - 1), got 5"},
        {[](Json& s) { s["surface"]["knotsV"] = {0, 0, 0, 1, 0.5, 1}; }, "surface: knotsV decrease at index 4"},
        {[](Json& s) { s["surface"]["cvs"][5].push_back(0.0); }, "surface: cv 5 has a weight that is not positive"},
        {[](Json& s) { s["surface"] = "plane"; }, "surface: expected an object, got string"},
        {[](Json& s) { s["surfaceBase"] = s["surface"]; s["surfaceBase"]["degreeU"] = -1; },
         "surfaceBase.degreeU: expected a whole number from 0 to 2147483647, got -1"},
        {[](Json& s) { s["surface"]["degreeV"] = 2.5; },
         "surface.degreeV: expected a whole number from 0 to 2147483647, got 2.5"},
        {[](Json& s) { s["surface"]["knotU"] = s["surface"]["knotsU"]; }, "surface.knotU: unknown field"},
        {[](Json& s) { s["curve"]["knots"].erase(0); }, "curve.knots: expected 8 knots (4 cvs + degree 3 + 1), got 7"},
        {[](Json& s) { s["curveBase"]["cvs"][1] = {0, 0, 0, 1}; }, "curveBase.cvs[1]: expected three numbers"},
        {[](Json& s) { s.erase("surface"); }, "surface: missing"},
        {[](Json& s) { s["curvebase"] = s["curveBase"]; }, "curvebase: unknown field"},
        {[](Json& s) { s["envelope"] = "full"; }, "envelope: expected a number, got string"},
        {[](Json& s) { s["cacheAttributes"] = 1; }, "cacheAttributes: expected true or false, got number"},
        {[](Json& s) { s["weights"] = {1, nullptr, 1, 1, 1}; }, "weights[1]: expected a number, got null"},
        {[](Json& s) { s["weights"] = {{"indices", {0, 5}}, {"values", {0.5, 0.5}}}; },
         "weights.indices[1]: point 5 is not among the 5 points"},
        {[](Json& s) { s["weights"] = {{"indices", {0, 1}}, {"values", {0.5}}}; }, "weights: 2 indices but 1 values"},
        {[](Json& s) { s["attributes"]["ud_factor"] = -1.0000001; },
         "attributes.ud_factor: -1.0000001 is outside its range -1 to 1"},
        {[](Json& s) { s["attributes"]["push_coeff"] = -0.25; }, "attributes.push_coeff: -0.25 is below its minimum 0"},
        {[](Json& s) { s["attributes"]["lr_center"] = {0.5}; }, "attributes.lr_center: expected a number, got array"},
        {[](Json& s) { s["attributes"]["slidingMethod"] = "sideways"; },
         "attributes.slidingMethod: unknown value 'sideways' (expected vector or matrix)"},
        {[](Json& s) { s["attributes"]["paramType"] = "u"; },
         "attributes.paramType: unknown value 'u' (expected U or V)"},
        {[](Json& s) { s["attributes"]["paramType"] = 0.5; },
         "attributes.paramType: expected a whole number from -2147483648 to 2147483647, got 0.5"},
        {[](Json& s) { s["attributes"]["bogus"] = 1; }, "attributes.bogus: unknown attribute"},
        {[](Json& s) { s["attributes"]["curve"] = s["curve"]; },
         "attributes.curve: geometry is given at the top level of the scene, not among attributes"},
        {[](Json& s) { s["attributes"]["umap"] = "all"; },
         "attributes.umap: expected a list or {\"indices\", \"values\"}, got string"},
        {[](Json& s) { s["attributes"]["uparams"] = {{"indices", {1, 0}}, {"values", {0.5, 0.5}}}; },
         "attributes.uparams: expected a list, one value per point, got object"},
        {[](Json& s) { s["weights"] = {1, 1e300, 1, 1, 1}; }, "weights[1]: 1e+300 does not fit a 32-bit float"},
        {[](Json& s) { s["attributes"]["push_coeff"] = 1e39; },
         "attributes.push_coeff: 1e+39 does not fit a 32-bit float"},
        {[](Json& s) { s["curve"]["knots"][7] = -1e40; }, "curve.knots[7]: -1e+40 does not fit a 32-bit float"},
        {[](Json& s) { s["attributes"]["umap"] = {{"indices", {0, 2147483648LL}}, {"values", {1, 1}}}; },
         "attributes.umap.indices[1]: expected a whole number from -2147483648 to 2147483647, got 2147483648"},
        {[](Json& s) { s["attributes"]["dmap"] = {{"values", {1}}}; }, "attributes.dmap.indices: missing"},
        {[](Json& s) { s["attributes"]["dmap"] = {{"indices", {0}}, {"values", {1}}, {"weights", {1}}}; },
         "attributes.dmap.weights: unknown field"},
        {[&](Json& s) { s["points"] = "absent.obj"; },
         "points: cannot open " + path("absent.obj") + ": No such file or directory"},
        {[&](Json& s) { s["points"] = obj("v 0 0 0\nv 1 2\n"); }, inObj + ":2: expected three numbers after 'v'"},
        {[&](Json& s) { s["points"] = obj("v 0 0 0\nv 1 0 0\nf 1 2 3\n\nv 0 1 0\nf 1 2 4\n"); },  // blank lines count
         inObj + ":6: face vertex 4 is past the last of 3 vertices"},
        {[&](Json& s) { s["points"] = obj("v 0 0 0\nf 1 -2 1\n"); }, inObj + ":2: bad face vertex '-2'"},
    };
    const Json good = loadJson(dataPath("plane.json"));
    for (const auto& [edit, message] : cases) {
        Json scene = good;
        edit(scene);
        EXPECT_EQ(refused(write("scene.json", scene)), path("scene.json") + ": " + message);
    }

    // Whole-file refusals.
    writeText(path("broken.json"), "{\"points\": [1, 2,]}");
    EXPECT_THAT(refused(path("broken.json")),
                ::testing::MatchesRegex(".*broken\\.json: not valid JSON: parse error at line 1, column 18: .*"));
    writeText(path("list.json"), "[]");
    EXPECT_EQ(refused(path("list.json")), path("list.json") + ": expected a JSON object at the top level, got array");
    EXPECT_EQ(refused(path("absent.json")), path("absent.json") + ": cannot open: No such file or directory");
}

TEST_F(SceneReader, HandsTheNodeWhatItJudgesUnchanged) {
    Json scene = loadJson(dataPath("plane.json"));
    scene.erase("node");
    scene["surface"] = nullptr;
    scene["curve"] = {{"degree", 0}, {"knots", Json::array()}, {"cvs", Json::array()}};
    scene["envelope"] = 0.5;
    scene["cacheAttributes"] = false;
    scene["attributes"]["uparams"] = {0.25, 0.75};                                       // too short for 5 points
    scene["attributes"]["umap"] = {{"indices", {7, -1, 2}}, {"values", {0.5, 0.125}}};  // lengths differ
    scene["attributes"]["paramType"] = 5;                                                // not a field of the enum
    scene["attributes"]["slidingMethod"] = "matrix";
    scene["attributes"]["push_coeff"] = 1e6;                                             // no upper bound
    const ostrivel::Scene read = this->read(scene);
    EXPECT_EQ(read.nodeName, "quelvarn1");
    EXPECT_TRUE(read.surfaceBase.isNull());  // a copy of the null surface
    EXPECT_TRUE(read.curve.empty());
    EXPECT_EQ(read.curveBase.knots, (std::vector<float>{0, 0, 0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(read.envelope, 0.5f);
    EXPECT_FALSE(read.cacheAttributes);

    ostrivel::DeformerNode node(testing_support::plugin(), read.nodeName);
    ostrivel::applyScene(read, node);
    EXPECT_TRUE(node.plugValue("surface").object.isNull());
    EXPECT_THAT(node.plugValue("uparams").indices, ElementsAre(0, 1));
    EXPECT_THAT(node.plugValue("uparams").values, ElementsAre(0.25f, 0.75f));
    EXPECT_THAT(node.plugValue("umap").indices, ElementsAre(7, -1, 2));
    EXPECT_THAT(node.plugValue("umap").values, ElementsAre(0.5f, 0.125f));
    EXPECT_EQ(node.plugValue("paramType").number, 5.0);
    EXPECT_EQ(node.plugValue("slidingMethod").number, 1.0);
    EXPECT_EQ(node.plugValue("push_coeff").number, 1e6);
    EXPECT_EQ(node.plugValue("lr_center").number, 0.5);  // omitted: the declared default
    EXPECT_TRUE(node.plugValue("vparams").values.empty());
}

TEST_F(SceneReader, DefaultsCopyTheSurfaceAndCurveAndLoadMeshPointsInFileOrder) {
    const ostrivel::Scene scene = read(dataPath("plane_obj.json"));
    const auto* surface = hostapi::asNurbsSurface(scene.surface);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(hostapi::asNurbsSurface(scene.surfaceBase), surface);
    EXPECT_EQ(surface->knotsU, (std::vector<double>{0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(surface->cvs[1 * 4 + 2], (std::array<double, 4>{-0.3333, 0.3333, 0.25, 1.0}));  // u-major
    EXPECT_EQ(scene.curve.cvs[1].x, 0.33);
    EXPECT_EQ(scene.curveBase.cvs.size(), 4u);

    EXPECT_EQ(scene.meshPath, dataPath("plane_points.obj"));  // points and faces: the deform_obj command test
    EXPECT_EQ(scene.weights, std::vector<float>(5, 1.0f));

    Json sparse = loadJson(dataPath("plane.json"));
    sparse["weights"] = {{"indices", {3, 1}}, {"values", {0.25, 0.5}}};  // the others keep 1.0
    EXPECT_EQ(read(sparse).weights, (std::vector<float>{1.0f, 0.5f, 1.0f, 0.25f, 1.0f}));
}

}  // namespace
