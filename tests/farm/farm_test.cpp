// The farm's parts that need no cluster: the chunk plan and the batch script (its shell
// arithmetic run for real), the frozen scene and shot record, frame verification and the
// manifest, SHA-256 and the process runner. farm_cluster_test.sh runs the whole command.

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstring>

#include "farm_plan.h"
#include "farm_verify.h"
#include "obj_mesh.h"
#include "scene_fixtures.h"
#include "sha256.h"
#include "shot_record.h"
#include "subprocess.h"

using namespace scene_testing;
namespace fs = std::filesystem;

namespace {

std::string ranges(const std::vector<ostrivel::Chunk>& chunks) {
    std::string text;
    for (const auto& c : chunks) text += std::to_string(c.index) + ":" + std::to_string(c.first) + "-" +
                                         std::to_string(c.last) + " ";
    return text;
}

TEST(FarmPlan, ChunksCoverTheShotOnceInOrder) {
    const struct {
        int frames, size;
        const char* expected;
    } cases[] = {
        {24, 6, "1:1-6 2:7-12 3:13-18 4:19-24 "},
        {25, 6, "1:1-6 2:7-12 3:13-18 4:19-24 5:25-25 "},
        {5, 10, "1:1-5 "},
        {1, 1, "1:1-1 "},
        {3, 1, "1:1-1 2:2-2 3:3-3 "},
    };
    for (const auto& c : cases) {
        const auto plan = ostrivel::planChunks(c.frames, c.size);
        EXPECT_EQ(ranges(plan), c.expected) << c.frames << " frames by " << c.size;
        for (const auto& chunk : plan) {
            for (int frame = chunk.first; frame <= chunk.last; ++frame)
                EXPECT_EQ(ostrivel::chunkOfFrame(frame, c.size), chunk.index) << frame;
        }
    }
}

TEST(FarmPlan, RangesCollapseRuns) {
    EXPECT_EQ(ostrivel::formatRanges({}), "");
    EXPECT_EQ(ostrivel::formatRanges({4}), "4");
    EXPECT_EQ(ostrivel::formatRanges({10, 3, 1, 2, 7, 9, 10}), "1-3, 7, 9-10");
    EXPECT_EQ(ostrivel::arrayList({10, 3, 1, 2, 7, 9}), "1-3,7,9-10");
}

ostrivel::ShotScript sampleScript() {
    ostrivel::ShotScript shot;
    shot.binary = "/opt/q/bin/ostrivel";
    shot.plugin = "/opt/q/lib/quelvarn/quelvarn_v005_2023.so";
    shot.scene = "/shots/a/scene/lid.json";
    shot.framesDir = "/shots/a/frames";
    shot.logsDir = "/shots/a/logs";
    shot.jobName = "ostrivel-lid";
    shot.frames = 25;
    shot.chunkSize = 6;
    return shot;
}

TEST(FarmPlan, BatchScriptIsAJobArrayOfAnimateChunks) {
    ostrivel::ShotScript shot = sampleScript();
    shot.partition = "render";
    shot.timeLimitMinutes = 90;
    EXPECT_EQ(ostrivel::batchScript(shot),
              "#!/bin/bash\n"
              "# ostrivel farm: 25 frames in 5 chunks of 6; task i runs frames (i-1)*6+1 to min(i*6, 25).\n"
              "#SBATCH --job-name=ostrivel-lid\n"
              "#SBATCH --array=1-5\n"
              "#SBATCH --ntasks=1\n"
              "#SBATCH --output=/shots/a/logs/chunk_%a-job_%A.log\n"
              "#SBATCH --partition=render\n"
              "#SBATCH --time=90\n"
              "set -eu\n"
              "chunk=\"$SLURM_ARRAY_TASK_ID\"\n"
              "first=$(( (chunk - 1) * 6 + 1 ))\n"
              "last=$(( chunk * 6 < 25 ? chunk * 6 : 25 ))\n"
              "echo \"chunk $chunk: frames $first to $last on $(hostname)\"\n"
              "exec /opt/q/bin/ostrivel animate /shots/a/scene/lid.json --frames 25 --first \"$first\" --last "
              "\"$last\" --out /shots/a/frames --plugin /opt/q/lib/quelvarn/quelvarn_v005_2023.so\n");
    EXPECT_EQ(ostrivel::chunkLogName(3, "812"), "chunk_3-job_812.log");
}

TEST(FarmPlan, EveryTaskOfTheScriptRunsItsPlannedFrames) {
    ostrivel::ShotScript shot = sampleScript();
    shot.binary = "echo";  // the task prints its command line instead of animating
    const std::string script = ostrivel::batchScript(shot);
    for (const auto& chunk : ostrivel::planChunks(shot.frames, shot.chunkSize)) {
        const auto run = ostrivel::runProcess(
            {"env", "SLURM_ARRAY_TASK_ID=" + std::to_string(chunk.index), "bash", "-s"}, script);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_THAT(run.out, ::testing::HasSubstr("--first " + std::to_string(chunk.first) + " --last " +
                                                  std::to_string(chunk.last) + " --out"))
            << "chunk " << chunk.index;
    }
}

TEST(FarmPlan, PathsAScriptCannotCarryAreRefused) {
    EXPECT_EQ(refusal([] { ostrivel::checkScriptablePath("--out", "/shots/a-1/b_2.c"); }), "(accepted)");
    for (const char* bad : {"/a b", "/a\tb", "/a'b", "/a\"b", "/a\\b", "/a$b", "/a`b", "/a%b", "/a\nb"}) {
        EXPECT_EQ(refusal([&] { ostrivel::checkScriptablePath("--out", bad); }),
                  "--out " + std::string(bad) + ": a farmed shot's paths must not contain whitespace, quotes, "
                  "backslashes, '$', '`' or '%' (they go into a batch script and Slurm log names)");
    }
}

TEST(FarmDigest, Sha256OfKnownTexts) {
    EXPECT_EQ(ostrivel::sha256OfText(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(ostrivel::sha256OfText("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string large(200000, 'q');  // several read buffers
    const std::string file = (fs::temp_directory_path() / ("farm_digest_" + std::to_string(::getpid()))).string();
    writeText(file, large);
    EXPECT_EQ(ostrivel::sha256OfFile(file), ostrivel::sha256OfText(large));
    fs::remove(file);
    EXPECT_EQ(refusal([&] { ostrivel::sha256OfFile(file); }), "cannot read " + file + ": No such file or directory");
}

TEST(FarmProcess, InputOutputsAndStatusComeBack) {
    const auto run = ostrivel::runProcess({"sh", "-c", "cat; echo problem one >&2; echo problem two >&2; exit 3"},
                                          std::string(100000, 'x'));  // more than a pipe holds
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, std::string(100000, 'x'));
    EXPECT_EQ(run.err, "problem one\nproblem two\n");
    EXPECT_EQ(run.lastLine(), "problem two");

    const auto missing = ostrivel::runProcess({"no-such-program-ostrivel"});
    EXPECT_EQ(missing.status, 127);
    EXPECT_EQ(missing.lastLine(), "cannot run no-such-program-ostrivel: No such file or directory");
    EXPECT_FALSE(ostrivel::findOnPath("sh").empty());
    EXPECT_EQ(ostrivel::findOnPath("no-such-program-ostrivel"), "");
}

class FarmShot : public SceneFolder {
protected:
    ostrivel::ShotFolder shot() const { return {folder / "shot"}; }
    // A shot of plane_obj.json frozen into shot/ with its record.
    ostrivel::ShotRecord frozenShot() const {
        ostrivel::ShotRecord record;
        record.frames = 24;
        record.chunkSize = 6;
        record.source = dataPath("plane_obj.json");
        record.binary = {"/opt/q/bin/ostrivel", ostrivel::sha256OfText("binary")};
        record.plugin = {"/opt/q/lib/quelvarn/p.so", ostrivel::sha256OfText("plugin")};
        ostrivel::writeFrozenScene(shot(), ostrivel::freezeScene(record.source, dataPath("plane_points.obj")), record);
        ostrivel::writeShotRecord(shot(), record);
        return record;
    }
};

TEST_F(FarmShot, AFrozenSceneKeepsItsBytesOrNamesItsObjBesideIt) {
    const auto same = ostrivel::freezeScene(dataPath("plane_obj.json"), dataPath("plane_points.obj"));
    EXPECT_EQ(same.sceneName, "plane_obj.json");
    EXPECT_EQ(same.sceneText, readText(dataPath("plane_obj.json")));
    EXPECT_EQ(same.meshName, "plane_points.obj");
    EXPECT_EQ(same.meshText, readText(dataPath("plane_points.obj")));

    // A scene naming its OBJ in another folder: the copy names the OBJ beside it.
    fs::create_directories(folder / "meshes");
    fs::copy_file(dataPath("plane_points.obj"), folder / "meshes/lid.obj");
    Json scene = loadJson(dataPath("plane_obj.json"));
    scene["points"] = "../meshes/lid.obj";
    fs::create_directories(folder / "scenes");
    writeText(path("scenes/lid.json"), scene.dump());
    const auto moved = ostrivel::freezeScene(path("scenes/lid.json"), path("meshes/lid.obj"));
    EXPECT_EQ(Json::parse(moved.sceneText)["points"], "lid.obj");
    EXPECT_EQ(moved.meshName, "lid.obj");
    ostrivel::ShotRecord record;
    ostrivel::writeFrozenScene(shot(), moved, record);
    const auto frozenPoints = read((shot().sceneDir() / "lid.json").string()).points;
    const auto sourcePoints = read(path("scenes/lid.json")).points;
    ASSERT_EQ(frozenPoints.size(), sourcePoints.size());
    EXPECT_EQ(std::memcmp(frozenPoints.data(), sourcePoints.data(), sourcePoints.size() * sizeof(KxPoint)), 0);
    EXPECT_EQ(record.mesh.path, "scene/lid.obj");
    EXPECT_EQ(record.mesh.sha256, ostrivel::sha256OfFile(dataPath("plane_points.obj")));

    const auto inline_ = ostrivel::freezeScene(dataPath("plane.json"), "");
    EXPECT_EQ(inline_.meshName, "");
    EXPECT_EQ(inline_.sceneText, readText(dataPath("plane.json")));
}

TEST_F(FarmShot, TheRecordReadsBackAndCatchesEveryChange) {
    const ostrivel::ShotRecord written = frozenShot();
    const ostrivel::ShotRecord back = ostrivel::readShotRecord(shot());
    EXPECT_EQ(back.frames, 24);
    EXPECT_EQ(back.chunkSize, 6);
    EXPECT_EQ(back.source, written.source);
    EXPECT_EQ(back.scene.path, "scene/plane_obj.json");
    EXPECT_EQ(back.scene.sha256, ostrivel::sha256OfFile(dataPath("plane_obj.json")));
    EXPECT_EQ(back.mesh.path, "scene/plane_points.obj");
    EXPECT_EQ(back.binary.sha256, written.binary.sha256);
    EXPECT_EQ(back.plugin.path, written.plugin.path);
    EXPECT_EQ(back.partition, "");
    EXPECT_EQ(back.timeLimitMinutes, 0);

    const auto check = [&](const ostrivel::FileStamp& binary, const ostrivel::FileStamp& plugin) {
        return refusal([&] { ostrivel::checkShotUnchanged(shot(), back, binary, plugin); });
    };
    EXPECT_EQ(check(written.binary, written.plugin), "(accepted)");
    const ostrivel::FileStamp other{"/usr/bin/ostrivel", ostrivel::sha256OfText("another build")};
    EXPECT_EQ(check(other, written.plugin),
              "this ostrivel binary (/usr/bin/ostrivel) is not the one that started the shot (/opt/q/bin/ostrivel, "
              "SHA-256 " + written.binary.sha256.substr(0, 12) +
              "...); its frames might not match those already written");
    EXPECT_THAT(check(written.binary, other), ::testing::StartsWith("this plug-in (/usr/bin/ostrivel) is not"));

    writeText((shot().sceneDir() / "plane_obj.json").string(), readText(dataPath("plane_obj.json")) + " ");
    EXPECT_EQ(check(written.binary, written.plugin),
              "the frozen " + (shot().sceneDir() / "plane_obj.json").string() +
              " changed after the shot was submitted (its SHA-256 differs from shot.json); its frames would not "
              "match those already written");
    fs::remove(shot().sceneDir() / "plane_points.obj");
    fs::copy_file(dataPath("plane_obj.json"), shot().sceneDir() / "plane_obj.json",
                  fs::copy_options::overwrite_existing);
    EXPECT_EQ(check(written.binary, written.plugin),
              "the frozen shot is damaged: cannot read " + (shot().sceneDir() / "plane_points.obj").string() +
              ": No such file or directory");

    EXPECT_TRUE(ostrivel::readSubmissions(shot()).empty());
    ostrivel::recordSubmission(shot(), {"17", {1, 2, 3, 4}});
    ostrivel::recordSubmission(shot(), {"23", {2}});
    const auto submissions = ostrivel::readSubmissions(shot());
    ASSERT_EQ(submissions.size(), 2u);
    EXPECT_EQ(submissions[0].jobId, "17");
    EXPECT_EQ(submissions[0].chunks, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(submissions[1].jobId, "23");
    EXPECT_EQ(submissions[1].chunks, (std::vector<int>{2}));

    writeText(shot().record().string(), "{\"frames\": 24}");
    EXPECT_EQ(refusal([&] { ostrivel::readShotRecord(shot()); }),
              shot().record().string() + ": not a shot record: [json.exception.out_of_range.403] key 'chunk' not found");
}

TEST_F(FarmShot, OnlyCompleteFramesCountAndTheManifestListsThemAll) {
    fs::create_directories(shot().framesDir());
    const std::vector<KxPoint> points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const std::vector<std::vector<int32_t>> faces = {{0, 1, 2}};
    const auto frame = [&](int n) { return (shot().root / ostrivel::frameFilePath(n, 5)).string(); };
    EXPECT_EQ(ostrivel::frameFilePath(3, 5), "frames/frame_0003.obj");
    for (int n : {1, 2, 5}) ostrivel::writeObjMesh(frame(n), points, faces, "frame");
    ostrivel::writeObjMesh(frame(3), {points[0], points[1]}, {}, "cut short");  // incomplete
    writeText(frame(5), readText(frame(5)) + "f 1 2 9\n");                       // unreadable
    EXPECT_EQ(ostrivel::missingFrames(shot(), 5, {3, 1}), (std::vector<int>{3, 4, 5}));

    for (int n : {3, 4, 5}) ostrivel::writeObjMesh(frame(n), points, faces, "frame " + std::to_string(n));
    ASSERT_TRUE(ostrivel::missingFrames(shot(), 5, {3, 1}).empty());
    ostrivel::writeManifest(shot(), 5);
    const Json manifest = loadJson(shot().manifest().string());
    EXPECT_EQ(manifest["frames"], 5);
    ASSERT_EQ(manifest["files"].size(), 5u);
    for (int n = 1; n <= 5; ++n) {
        const Json& entry = manifest["files"][n - 1];
        EXPECT_EQ(entry["frame"], n);
        EXPECT_EQ(entry["file"], ostrivel::frameFilePath(n, 5));
        EXPECT_EQ(entry["sha256"], ostrivel::sha256OfFile(frame(n)));
    }
}

}  // namespace
