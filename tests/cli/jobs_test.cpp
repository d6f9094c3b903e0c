// The jobs that make ostrivel a tool: OBJ meshes in and out, bind, animate, demo and pictures.

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstring>
#include <set>
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
using ::testing::MatchesRegex;
namespace fs = std::filesystem;

namespace {

// Equal doubles bit for bit, so -0.0 and 0.0 differ.
::testing::AssertionResult sameBits(const std::vector<KxPoint>& expected, const std::vector<KxPoint>& actual) {
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure() << expected.size() << " points, got " << actual.size();
    for (size_t k = 0; k < expected.size(); ++k) {
        if (std::memcmp(&expected[k], &actual[k], sizeof(KxPoint)) != 0)
            return ::testing::AssertionFailure() << "point " << k << ": (" << expected[k].x << ", " << expected[k].y
                                                 << ", " << expected[k].z << ") became (" << actual[k].x << ", "
                                                 << actual[k].y << ", " << actual[k].z << ")";
    }
    return ::testing::AssertionSuccess();
}

class Jobs : public SceneFolder {
protected:
    // Every path under the folder, relative to it.
    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            names.insert(entry.path().lexically_relative(folder).string());
        return names;
    }
    // plane_obj.json with the moving curve of plane.json, in sub/ beside its own copy of the mesh.
    std::string movingObjScene(const std::string& sub) const {
        fs::create_directories(folder / sub);
        fs::copy_file(dataPath("plane_points.obj"), folder / sub / "plane_points.obj");
        Json scene = loadJson(dataPath("plane_obj.json"));
        scene["curve"] = loadJson(dataPath("plane.json"))["curve"];
        return write(sub + "/scene.json", scene);
    }
    std::string writeDemoScene() const {
        fs::create_directories(folder / "demo");
        writeText(path("demo/eyelid.obj"), ostrivel::kDemoSceneObj);
        writeText(path("demo/eyelid.json"), ostrivel::kDemoSceneJson);
        return path("demo/eyelid.json");
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

TEST_F(Jobs, ObjMeshesRoundTripBitForBitAndRefuseBadFaces) {
    const std::vector<KxPoint> vertices = {
        {0.1 + 0.2, -0.0, 1e-300}, {1.0 / 3.0, -2.5e-17, 123456789.123456789}, {5e-324, 1.7976931348623157e308, -1.0}};
    const std::vector<std::vector<int32_t>> faces = {{0, 1, 2}, {2, 1, 0}};
    const std::string text = ostrivel::objText(vertices, faces, "three points");
    EXPECT_EQ(text,
              "# three points\n"
              "v 0.30000000000000004 -0 1e-300\n"
              "v 0.3333333333333333 -2.5e-17 123456789.12345679\n"
              "v 5e-324 1.7976931348623157e+308 -1\n"
              "f 1 2 3\n"
              "f 3 2 1\n");
    ostrivel::writeObjMesh(path("mesh.obj"), vertices, faces);
    const ostrivel::ObjMesh back = ostrivel::readObjMesh(path("mesh.obj"));
    EXPECT_TRUE(sameBits(vertices, back.vertices));
    EXPECT_EQ(back.faces, faces);
    EXPECT_EQ(files(), std::set<std::string>{"mesh.obj"});

    // v/vt/vn and relative references name the same vertices.
    EXPECT_EQ(ostrivel::readObjMesh(dataPath("plane_points.obj")).faces,
              (std::vector<std::vector<int32_t>>{{0, 2, 3, 1}, {1, 3, 4}}));

    const auto refusal = [&](const std::string& obj) {
        writeText(path("bad.obj"), obj);
        try {
            ostrivel::readObjMesh(path("bad.obj"));
        } catch (const ostrivel::HostError& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refusal("v 0 0 0\nv 1 0 0\n\nv 0 1 0\nf 1 2 99\n"),
              path("bad.obj") + ":5: face vertex 99 is past the last of 3 vertices");
    EXPECT_EQ(refusal("v 0 0 0\nv 1 0 0\nv 0 1\nf 1 2 3\n"), path("bad.obj") + ":3: expected three numbers after 'v'");
    EXPECT_EQ(refusal("v 0 0 0\nv 1 0 0\nf 1 2 -3\n"), path("bad.obj") + ":3: bad face vertex '-3'");
}

TEST_F(Jobs, DeformToObjWritesTheJsonResultsPointsWithTheInputFaces) {
    const std::string scene = movingObjScene("in");
    const Json result = loadJson(deform(scene, "result.json"));
    const ostrivel::ObjMesh mesh = ostrivel::readObjMesh(deform(scene, "result.obj"));
    EXPECT_EQ(mesh.faces, ostrivel::readObjMesh(dataPath("plane_points.obj")).faces);
    std::vector<KxPoint> fromJson;
    for (const Json& p : result["points"])
        fromJson.push_back({p[0].get<double>(), p[1].get<double>(), p[2].get<double>()});
    EXPECT_TRUE(sameBits(fromJson, mesh.vertices));
    EXPECT_FALSE(sameBits(ostrivel::readObjMesh(dataPath("plane_points.obj")).vertices, mesh.vertices));
}

TEST_F(Jobs, BindWritesParametersOnlyAndTheBoundSceneDeformsIdentically) {
    const std::string scene = movingObjScene("in");
    ostrivel::BindJob job;
    job.scenePath = scene;
    job.outPath = path("out/bound.json");
    fs::create_directories(folder / "out");
    ASSERT_EQ(ostrivel::runBind(job), 0);

    using Ordered = nlohmann::ordered_json;
    Ordered input = Ordered::parse(readText(scene));
    Ordered bound = Ordered::parse(readText(job.outPath));
    EXPECT_EQ(bound["points"], "../in/plane_points.obj");  // still the same mesh from out/
    ASSERT_EQ(bound["attributes"]["uparams"].size(), 5u);
    ASSERT_EQ(bound["attributes"]["vparams"].size(), 5u);
    Ordered rest = bound;
    rest["points"] = input["points"];
    rest["attributes"].erase("uparams");
    rest["attributes"].erase("vparams");
    EXPECT_EQ(rest.dump(), input.dump());  // same fields, same order

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
    try {
        ostrivel::runBind(job);
        ADD_FAILURE() << "bound to a null surface";
    } catch (const ostrivel::SceneError& error) {
        EXPECT_EQ(std::string(error.what()),
                  job.scenePath + ": surface: null, there is no surface to bind the points to");
    }
    EXPECT_FALSE(fs::exists(job.outPath));
}

TEST_F(Jobs, AnimationGoesFromRestToTheDeformedSceneAndSplitsIntoIdenticalChunks) {
    const std::string scene = writeDemoScene();
    const ostrivel::ObjMesh restMesh = ostrivel::readObjMesh(path("demo/eyelid.obj"));
    const auto animate = [&](const std::string& out, int first, int last) {
        ostrivel::AnimateJob job;
        job.scenePath = scene;
        job.outDir = path(out);
        job.frames = 6;
        job.first = first;
        job.last = last;
        return ostrivel::runAnimate(job);
    };
    ASSERT_EQ(animate("whole", 1, 0), 0);
    const ostrivel::ObjMesh first = ostrivel::readObjMesh(path("whole/frame_0001.obj"));
    EXPECT_TRUE(sameBits(restMesh.vertices, first.vertices));
    EXPECT_EQ(first.faces, restMesh.faces);
    const ostrivel::ObjMesh lastFrame = ostrivel::readObjMesh(path("whole/frame_0006.obj"));
    EXPECT_TRUE(sameBits(ostrivel::readObjMesh(deform(scene, "deformed.obj")).vertices, lastFrame.vertices));
    EXPECT_FALSE(sameBits(restMesh.vertices, ostrivel::readObjMesh(path("whole/frame_0003.obj")).vertices));

    ASSERT_EQ(animate("chunks", 1, 3), 0);
    ASSERT_EQ(animate("chunks", 4, 6), 0);
    for (int frame = 1; frame <= 6; ++frame) {
        const std::string name = ostrivel::frameFileName(frame);
        EXPECT_EQ(readText(path("chunks/" + name)), readText(path("whole/" + name))) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "chunks"), {}), 6);  // no partial files

    const std::pair<int, int> badRanges[] = {{0, 6}, {5, 3}, {1, 7}};
    for (const auto& [from, to] : badRanges) {
        try {
            animate("refused", from, to);
            ADD_FAILURE() << from << " to " << to << " accepted";
        } catch (const ostrivel::HostError& error) {
            EXPECT_EQ(std::string(error.what()), "frame range " + std::to_string(from) + " to " + std::to_string(to) +
                                                     " is not within 1 to 6");
        }
        EXPECT_FALSE(fs::exists(path("refused")));
    }
}

TEST_F(Jobs, CurvesBlendOnlyPointForPoint) {
    const ostrivel::Scene plane = ostrivel::readScene(dataPath("plane.json"), declarations());
    const CurveData single = ostrivel::curveAtFrame(plane.curveBase, plane.curve, 1, 1);
    EXPECT_TRUE(sameBits(plane.curve.cvs, single.cvs));
    EXPECT_EQ(single.knots, plane.curve.knots);
    EXPECT_EQ(single.degree, plane.curve.degree);
    const CurveData middle = ostrivel::curveAtFrame(plane.curveBase, plane.curve, 3, 5);
    EXPECT_EQ(middle.cvs[1].y, 0.15);
    EXPECT_EQ(middle.cvs[2].z, 0.1);

    Json longer = loadJson(dataPath("plane.json"));
    longer["curveBase"]["cvs"].push_back({1.5, 0, 0});
    longer["curveBase"]["knots"].push_back(1);
    const std::string message =
        "curve and curveBase must have the same degree, control point count and knot count to be blended "
        "(curveBase: degree 3, 5 cvs; curve: degree 3, 4 cvs)";
    const ostrivel::Scene mismatched = read(longer);
    try {
        ostrivel::curveAtFrame(mismatched.curveBase, mismatched.curve, 1, 6);
        ADD_FAILURE() << "blended";
    } catch (const ostrivel::HostError& error) {
        EXPECT_EQ(std::string(error.what()), message);
    }
    ostrivel::AnimateJob job;
    job.scenePath = path("scene.json");
    job.outDir = path("frames");
    EXPECT_THROW(ostrivel::runAnimate(job), ostrivel::HostError);
    EXPECT_FALSE(fs::exists(job.outDir));
}

TEST_F(Jobs, DemoWritesTheEyelidSceneBothMeshesAndAPicture) {
    EXPECT_EQ(ostrivel::kDemoSceneJson, readText(std::string(DEMO_SCENE_DIR) + "/eyelid.json"));
    EXPECT_EQ(ostrivel::kDemoSceneObj, readText(std::string(DEMO_SCENE_DIR) + "/eyelid.obj"));
    ostrivel::DemoJob job;
    job.outDir = path("demo");
    job.evaluations = 2;
    std::ostringstream summary;
    ASSERT_EQ(ostrivel::runDemo(job, summary), 0);
    EXPECT_EQ(files(), (std::set<std::string>{"demo", "demo/deformed.obj", "demo/demo.svg", "demo/rest.obj",
                                              "demo/scene", "demo/scene/eyelid.json", "demo/scene/eyelid.obj"}));
    EXPECT_THAT(summary.str(), HasSubstr("(300 points, node eyelidSlide)"));
    EXPECT_THAT(summary.str(), MatchesRegex("(.|\n)*\n  moved     [1-9][0-9]* of 300 points(.|\n)*"));

    const ostrivel::ObjMesh embedded = ostrivel::readObjMesh(path("demo/scene/eyelid.obj"));
    EXPECT_EQ(readText(path("demo/scene/eyelid.obj")), ostrivel::kDemoSceneObj);
    const ostrivel::ObjMesh rest = ostrivel::readObjMesh(path("demo/rest.obj"));
    EXPECT_TRUE(sameBits(embedded.vertices, rest.vertices));
    EXPECT_EQ(rest.faces, embedded.faces);
    const ostrivel::ObjMesh deformed = ostrivel::readObjMesh(path("demo/deformed.obj"));
    EXPECT_FALSE(sameBits(embedded.vertices, deformed.vertices));
    const std::string again = deform(path("demo/scene/eyelid.json"), "deform.obj");
    EXPECT_TRUE(sameBits(ostrivel::readObjMesh(again).vertices, deformed.vertices));  // the same run as deform
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
        EXPECT_THAT(svg, MatchesRegex("<(\\?xml|svg)(.|\n)*</svg>\n"));
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

    const auto refusal = [&](const ostrivel::PictureRequest& picture) {
        fs::remove_all(path("refused"));
        fs::create_directories(path("refused"));
        job.outPath = path("refused/result.json");
        job.picture = picture;
        try {
            ostrivel::runDeform(job);
        } catch (const ostrivel::HostError& error) {
            EXPECT_TRUE(fs::is_empty(path("refused"))) << error.what();
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    EXPECT_THAT(refusal({path("refused/p.svg"), "nosuchmap", "z"}),
                MatchesRegex("--labels: 'nosuchmap' is not a per-point attribute \\(index, uparams, vparams, pushMap, "
                             "umap, [a-zA-Z, ]*\\)"));
    EXPECT_EQ(refusal({path("refused/p.svg"), "", "q"}), "--view must be x, y or z, got 'q'");
}

}  // namespace

namespace {

TEST_F(Jobs, OutputsNeverReplaceInputsAndWriteThroughLinks) {
    const std::string scene = movingObjScene("in");
    const std::string sceneText = readText(scene);
    const std::string meshText = readText(path("in/plane_points.obj"));
    for (const std::string& out : {scene, path("in/plane_points.obj")}) {
        ostrivel::DeformJob job;
        job.scenePath = scene;
        job.outPath = out;
        EXPECT_THROW(ostrivel::runDeform(job), ostrivel::HostError) << out;
    }
    EXPECT_EQ(readText(scene), sceneText);
    EXPECT_EQ(readText(path("in/plane_points.obj")), meshText);

    // A result path that is a link keeps being a link; the file it names gets the result.
    writeText(path("target.json"), "old");
    fs::create_symlink(path("target.json"), path("link.json"));
    ostrivel::DeformJob job;
    job.scenePath = scene;
    job.outPath = path("link.json");
    EXPECT_EQ(ostrivel::runDeform(job), 0);
    EXPECT_TRUE(fs::is_symlink(path("link.json")));
    EXPECT_THAT(readText(path("target.json")), HasSubstr("\"status\":0"));
}

}  // namespace
