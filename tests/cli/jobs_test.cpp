// The jobs that make ostrivel a tool: OBJ meshes in and out, bind, animate, demo and pictures.
// Refused command lines (what they print, that they write nothing) are the cli.job_* tests.

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstring>
#include <sstream>

#include "animate_job.h"
#include "bind_job.h"
#include "deform_job.h"
#include "demo_job.h"
#include "demo_scene.h"
#include "obj_mesh.h"
#include "scene_fixtures.h"

using namespace scene_testing;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

// Equal doubles bit for bit, so -0.0 and 0.0 differ.
bool sameBits(const std::vector<KxPoint>& a, const std::vector<KxPoint>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(KxPoint)) == 0;
}
std::vector<KxPoint> vertices(const std::string& obj) { return ostrivel::readObjMesh(obj).vertices; }
size_t entries(const fs::path& folder) { return std::distance(fs::directory_iterator(folder), {}); }

class Jobs : public SceneFolder {
protected:
    // plane_obj.json (fields in file order) with the moving curve of plane.json, in in/ beside
    // its own copy of the mesh.
    std::string movingObjScene() const {
        fs::create_directories(folder / "in");
        fs::copy_file(dataPath("plane_points.obj"), folder / "in/plane_points.obj");
        auto scene = nlohmann::ordered_json::parse(readText(dataPath("plane_obj.json")));
        scene["curve"] = loadJson(dataPath("plane.json"))["curve"];
        writeText(path("in/scene.json"), scene.dump());
        return path("in/scene.json");
    }
    // Runs deform on a scene into the folder; returns the output's path.
    std::string deform(const std::string& scenePath, const std::string& out) const {
        ostrivel::DeformJob job;
        job.scenePath = scenePath;
        job.outPath = path(out);
        EXPECT_EQ(ostrivel::runDeform(job), 0);
        return job.outPath;
    }
};

TEST_F(Jobs, ObjMeshesRoundTripBitForBit) {
    const std::vector<KxPoint> points = {
        {0.1 + 0.2, -0.0, 1e-300}, {1.0 / 3.0, -2.5e-17, 123456789.123456789}, {5e-324, 1.7976931348623157e308, -1.0}};
    const std::vector<std::vector<int32_t>> faces = {{0, 1, 2}, {2, 1, 0}};
    EXPECT_EQ(ostrivel::objText(points, faces, "three points"),
              "# three points\n"
              "v 0.30000000000000004 -0 1e-300\n"
              "v 0.3333333333333333 -2.5e-17 123456789.12345679\n"
              "v 5e-324 1.7976931348623157e+308 -1\n"
              "f 1 2 3\n"
              "f 3 2 1\n");
    ostrivel::writeObjMesh(path("mesh.obj"), points, faces);
    const ostrivel::ObjMesh back = ostrivel::readObjMesh(path("mesh.obj"));
    EXPECT_TRUE(sameBits(points, back.vertices));
    EXPECT_EQ(back.faces, faces);
    EXPECT_EQ(entries(folder), 1u);  // no temporary left beside it
}

// The faces, exactly as in the input: cli.job_deform_obj.
TEST_F(Jobs, DeformToObjWritesTheJsonResultsPoints) {
    const std::string scene = movingObjScene();
    const Json result = loadJson(deform(scene, "result.json"));
    const ostrivel::ObjMesh mesh = ostrivel::readObjMesh(deform(scene, "result.obj"));
    EXPECT_TRUE(sameBits(jsonPoints(result["points"]), mesh.vertices));
    EXPECT_FALSE(sameBits(vertices(dataPath("plane_points.obj")), mesh.vertices));
}

TEST_F(Jobs, BindWritesParametersOnlyAndTheBoundSceneDeformsIdentically) {
    const std::string scene = movingObjScene();
    ostrivel::BindJob job;
    job.scenePath = scene;
    job.outPath = path("out/bound.json");
    fs::create_directories(folder / "out");
    ASSERT_EQ(ostrivel::runBind(job), 0);

    using Ordered = nlohmann::ordered_json;
    const Ordered input = Ordered::parse(readText(scene));
    Ordered bound = Ordered::parse(readText(job.outPath));
    EXPECT_EQ(bound["points"], "../in/plane_points.obj");  // still the same mesh from out/
    ASSERT_EQ(bound["attributes"]["uparams"].size(), 5u);
    ASSERT_EQ(bound["attributes"]["vparams"].size(), 5u);
    bound["points"] = input["points"];
    bound["attributes"].erase("uparams");
    bound["attributes"].erase("vparams");
    EXPECT_EQ(bound.dump(), input.dump());  // same fields, same order

    const Json unbound = loadJson(deform(scene, "unbound.json"));
    const Json explicitRun = loadJson(deform(job.outPath, "bound.json"));
    EXPECT_EQ(explicitRun["messages"], Json::array());  // no second bind
    EXPECT_EQ(explicitRun["uparams"].dump(), unbound["uparams"].dump());
    EXPECT_EQ(explicitRun["points"].dump(), unbound["points"].dump());

    // Nothing to bind to: refused, nothing written.
    Json nullSurface = loadJson(dataPath("plane.json"));
    nullSurface["surface"] = nullptr;
    job.scenePath = write("null.json", nullSurface);
    job.outPath = path("null_bound.json");
    EXPECT_EQ(refusal([&] { ostrivel::runBind(job); }),
              job.scenePath + ": surface: null, there is no surface to bind the points to");
    EXPECT_FALSE(fs::exists(job.outPath));
}

TEST_F(Jobs, AnimationGoesFromRestToTheDeformedSceneAndSplitsIntoIdenticalChunks) {
    writeText(path("eyelid.obj"), ostrivel::kDemoSceneObj);
    writeText(path("eyelid.json"), ostrivel::kDemoSceneJson);
    const auto animate = [&](const std::string& out, int first, int last) {
        ostrivel::AnimateJob job;
        job.scenePath = path("eyelid.json");
        job.outDir = path(out);
        job.frames = 6;
        job.first = first;
        job.last = last;
        return ostrivel::runAnimate(job);
    };
    ASSERT_EQ(animate("whole", 1, 0), 0);
    const ostrivel::ObjMesh rest = ostrivel::readObjMesh(path("eyelid.obj"));
    const ostrivel::ObjMesh first = ostrivel::readObjMesh(path("whole/frame_0001.obj"));
    EXPECT_TRUE(sameBits(rest.vertices, first.vertices));
    EXPECT_EQ(first.faces, rest.faces);
    const std::string deformed = deform(path("eyelid.json"), "deformed.obj");
    EXPECT_TRUE(sameBits(vertices(deformed), vertices(path("whole/frame_0006.obj"))));
    EXPECT_FALSE(sameBits(rest.vertices, vertices(path("whole/frame_0003.obj"))));

    ASSERT_EQ(animate("chunks", 1, 3), 0);
    ASSERT_EQ(animate("chunks", 4, 6), 0);
    for (int frame = 1; frame <= 6; ++frame) {
        const std::string name = ostrivel::frameFileName(frame, 6);
        EXPECT_EQ(readText(path("chunks/" + name)), readText(path("whole/" + name))) << name;
    }
    EXPECT_EQ(entries(folder / "chunks"), 6u);  // no partial files
}

TEST_F(Jobs, CurvesBlendOnlyPointForPoint) {
    const ostrivel::Scene plane = read(dataPath("plane.json"));
    const CurveData single = ostrivel::curveAtFrame(plane.curveBase, plane.curve, 1, 1);
    EXPECT_TRUE(sameBits(plane.curve.cvs, single.cvs));
    EXPECT_EQ(single.knots, plane.curve.knots);
    const CurveData middle = ostrivel::curveAtFrame(plane.curveBase, plane.curve, 3, 5);
    EXPECT_EQ(middle.cvs[1].y, 0.15);
    EXPECT_EQ(middle.cvs[2].z, 0.1);

    Json longer = loadJson(dataPath("plane.json"));
    longer["curveBase"]["cvs"].push_back({1.5, 0, 0});
    Json& knots = longer["curveBase"]["knots"];
    knots.insert(knots.begin() + 4, 0.5);  // a valid longer curve: one more interior knot
    const ostrivel::Scene mismatched = read(longer);
    EXPECT_EQ(refusal([&] { ostrivel::curveAtFrame(mismatched.curveBase, mismatched.curve, 1, 6); }),
              "curve and curveBase must have the same degree, control point count and knot count to be blended "
              "(curveBase: degree 3, 5 cvs; curve: degree 3, 4 cvs)");
    ostrivel::AnimateJob job;
    job.scenePath = path("scene.json");
    job.outDir = path("frames");
    EXPECT_THROW(ostrivel::runAnimate(job), ostrivel::HostError);
    EXPECT_FALSE(fs::exists(job.outDir));
}

TEST_F(Jobs, DemoWritesTheEyelidSceneBothMeshesAndAPicture) {
    // Which files, and the moved-points line: the cli.job_demo test.
    EXPECT_EQ(ostrivel::kDemoSceneJson, readText(std::string(DEMO_SCENE_DIR) + "/eyelid.json"));
    EXPECT_EQ(ostrivel::kDemoSceneObj, readText(std::string(DEMO_SCENE_DIR) + "/eyelid.obj"));
    ostrivel::DemoJob job;
    job.outDir = path("demo");
    job.evaluations = 2;
    std::ostringstream summary;
    ASSERT_EQ(ostrivel::runDemo(job, summary), 0);
    EXPECT_THAT(summary.str(), HasSubstr("(300 points, node eyelidSlide)"));

    EXPECT_EQ(readText(path("demo/scene/eyelid.obj")), ostrivel::kDemoSceneObj);
    const ostrivel::ObjMesh embedded = ostrivel::readObjMesh(path("demo/scene/eyelid.obj"));
    const ostrivel::ObjMesh rest = ostrivel::readObjMesh(path("demo/rest.obj"));
    EXPECT_TRUE(sameBits(embedded.vertices, rest.vertices));
    EXPECT_EQ(rest.faces, embedded.faces);
    const std::vector<KxPoint> deformed = vertices(path("demo/deformed.obj"));
    EXPECT_FALSE(sameBits(embedded.vertices, deformed));
    EXPECT_TRUE(sameBits(vertices(deform(path("demo/scene/eyelid.json"), "deform.obj")), deformed));  // as deform
}

TEST_F(Jobs, PicturesLabelEveryPointAndBadRequestsWriteNothing) {
    ostrivel::DeformJob job;
    job.scenePath = dataPath("plane.json");
    job.outPath = path("plain.json");
    job.picture.path = path("plain.svg");
    ASSERT_EQ(ostrivel::runDeform(job), 0);
    job.outPath = path("labelled.json");
    job.picture = {path("labelled.svg"), "index", "z"};
    ASSERT_EQ(ostrivel::runDeform(job), 0);
    const std::string plain = readText(path("plain.svg")), labelled = readText(path("labelled.svg"));
    for (const std::string& svg : {plain, labelled}) {
        EXPECT_THAT(svg, ::testing::MatchesRegex("<(\\?xml|svg)(.|\n)*</svg>\n"));
        EXPECT_THAT(svg, HasSubstr(">rest mesh</text>"));
        EXPECT_THAT(svg, HasSubstr(">deformed mesh</text>"));
    }
    const auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count(labelled, "<svg"), 1u);
    EXPECT_EQ(count(labelled, "<text"), count(plain, "<text") + 5 + 1);  // one per point, one legend entry
    for (int k = 0; k < 5; ++k) EXPECT_EQ(count(labelled, ">" + std::to_string(k) + "</text>"), 1u) << k;

    // A bad view (which the command line refuses earlier still) writes neither file.
    job.outPath = path("refused.json");
    job.picture = {path("refused.svg"), "", "q"};
    EXPECT_EQ(refusal([&] { ostrivel::runDeform(job); }), "--view must be x, y or z, got 'q'");
    EXPECT_EQ(entries(folder), 4u);
}

// The scene itself as the output: the output_is_input command-line case.
TEST_F(Jobs, OutputsNeverReplaceTheInputMeshAndWriteThroughLinks) {
    const std::string mesh = path("in/plane_points.obj");
    ostrivel::DeformJob job;
    job.scenePath = movingObjScene();
    job.outPath = mesh;
    const std::string meshText = readText(mesh);
    EXPECT_EQ(refusal([&] { ostrivel::runDeform(job); }), "refusing to write " + mesh + ": it is the input " + mesh);
    EXPECT_EQ(readText(mesh), meshText);

    // A result path that is a link keeps being a link; the file it names gets the result.
    writeText(path("target.json"), "old");
    fs::create_symlink(path("target.json"), path("link.json"));
    job.outPath = path("link.json");
    EXPECT_EQ(ostrivel::runDeform(job), 0);
    EXPECT_TRUE(fs::is_symlink(path("link.json")));
    EXPECT_THAT(readText(path("target.json")), HasSubstr("\"status\":0"));
}

}  // namespace
