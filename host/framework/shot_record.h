#pragma once
// A farmed shot's folder and its record, shot.json: the frozen scene (and OBJ) the tasks
// read, the frame count and chunk size, and the SHA-256 of the binary, plug-in and frozen
// files, so a later --resume can tell whether it would still produce the same frames.
//
//   DIR/shot.json  DIR/shot.sbatch  DIR/scene/<scene>.json (+ its OBJ)
//   DIR/frames/frame_0001.obj ...  DIR/logs/chunk_<i>-job_<id>.log  DIR/jobs.json  DIR/manifest.json
#include <filesystem>
#include <string>
#include <vector>

namespace ostrivel {

struct ShotFolder {
    std::filesystem::path root;  // absolute
    std::filesystem::path record() const { return root / "shot.json"; }
    std::filesystem::path script() const { return root / "shot.sbatch"; }
    std::filesystem::path sceneDir() const { return root / "scene"; }
    std::filesystem::path framesDir() const { return root / "frames"; }
    std::filesystem::path logsDir() const { return root / "logs"; }
    std::filesystem::path manifest() const { return root / "manifest.json"; }
    std::filesystem::path submissions() const { return root / "jobs.json"; }
};

struct FileStamp {
    std::string path;  // absolute, or relative to the shot folder for frozen files
    std::string sha256;
};

struct ShotRecord {
    int frames = 0;
    int chunkSize = 0;
    std::string source;  // the scene it was frozen from (absolute)
    FileStamp scene;     // the frozen scene, relative to the shot folder
    FileStamp mesh;      // its frozen OBJ; empty path when the points are inline
    FileStamp binary;
    FileStamp plugin;
    std::string partition;
    int timeLimitMinutes = 0;
};

// The frozen copy of a scene: its JSON (with "points" renamed to the OBJ's file name when
// the scene named it by another path) and the OBJ's bytes.
struct FrozenScene {
    std::string sceneName;  // file names inside DIR/scene
    std::string sceneText;
    std::string meshName;   // empty when the points are inline
    std::string meshText;
};

// Reads the scene file and the OBJ it names (meshPath, empty for inline points). Throws
// HostError when either cannot be read.
FrozenScene freezeScene(const std::string& scenePath, const std::string& meshPath);

// Writes the frozen files into folder.sceneDir() and fills record.scene and record.mesh.
void writeFrozenScene(const ShotFolder& folder, const FrozenScene& frozen, ShotRecord& record);

// A file's bytes; throws HostError ("cannot read PATH: reason").
std::string readBytes(const std::string& path);

void writeShotRecord(const ShotFolder& folder, const ShotRecord& record);

// Throws HostError ("DIR/shot.json: ...") when the record is missing or malformed.
ShotRecord readShotRecord(const ShotFolder& folder);

// DIR/jobs.json lists every submission of the shot: its job id and chunks, oldest first.
struct Submission {
    std::string jobId;
    std::vector<int> chunks;
};
void recordSubmission(const ShotFolder& folder, const Submission& submission);
std::vector<Submission> readSubmissions(const ShotFolder& folder);  // none when the file is missing

// Throws HostError naming the first difference between a recorded shot and what would run
// now: a frozen file edited or removed, another binary or plug-in. Frames computed by
// either would not match those already written.
void checkShotUnchanged(const ShotFolder& folder, const ShotRecord& record, const FileStamp& binary,
                        const FileStamp& plugin);

}  // namespace ostrivel
