#include "farm_job.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "animate_job.h"
#include "atomic_file.h"
#include "farm_plan.h"
#include "farm_verify.h"
#include "scene.h"
#include "scene_run.h"
#include "sha256.h"
#include "slurm_client.h"

namespace ostrivel {

namespace fs = std::filesystem;

namespace {

// What one run of the command works on: the folder, the shot and what it would run with.
struct Farm {
    const FarmJob& job;
    std::ostream& out;
    ShotFolder folder;
    FileStamp binary;
    FileStamp plugin;
    std::shared_ptr<PluginLibrary> library;
};

void checkOptions(const FarmJob& job) {
    if (job.frames < 1) throw HostError("--frames must be at least 1, got " + std::to_string(job.frames));
    if (job.chunkSize < 0) throw HostError("--chunk must be at least 1, got " + std::to_string(job.chunkSize));
    if (job.timeLimitMinutes < 0)
        throw HostError("--time-limit must be at least 1 minute, got " + std::to_string(job.timeLimitMinutes));
}

FileStamp stampOf(const std::string& path) { return {path, sha256OfFile(path)}; }

std::string jobNameFor(const std::string& scenePath) {
    std::string name = "ostrivel-" + fs::path(scenePath).stem().string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
    }
    return name;
}

ShotScript scriptFor(const Farm& farm, const ShotRecord& record) {
    ShotScript script;
    script.binary = record.binary.path;
    script.plugin = record.plugin.path;
    script.scene = (farm.folder.root / record.scene.path).string();
    script.framesDir = farm.folder.framesDir().string();
    script.logsDir = farm.folder.logsDir().string();
    script.jobName = jobNameFor(record.scene.path);
    script.partition = record.partition;
    script.timeLimitMinutes = record.timeLimitMinutes;
    script.frames = record.frames;
    script.chunkSize = record.chunkSize;
    return script;
}

FrameShape shapeOf(const Scene& scene) { return {scene.points.size(), scene.meshFaces.size()}; }

std::string frameRange(const Chunk& chunk) {
    return chunk.first == chunk.last ? std::to_string(chunk.first)
                                     : std::to_string(chunk.first) + "-" + std::to_string(chunk.last);
}

void printPlan(const Farm& farm, const ShotRecord& record, const std::vector<int>& chunks, const std::string& jobId) {
    const std::vector<Chunk> plan = planChunks(record.frames, record.chunkSize);
    farm.out << "submitted job " << jobId << ": " << chunks.size() << " of " << plan.size() << " chunks ("
             << record.frames << " frames, " << record.chunkSize << " per chunk) to partition "
             << (farm.job.partition.empty() ? (record.partition.empty() ? "(default)" : record.partition)
                                            : farm.job.partition)
             << "\n";
    for (int index : chunks) {
        const Chunk& chunk = plan[index - 1];
        farm.out << "  chunk " << chunk.index << "  frames " << frameRange(chunk) << "  log "
                 << (farm.folder.logsDir() / chunkLogName(chunk.index, jobId)).string() << "\n";
    }
    farm.out.flush();
}

// One line for a chunk with frames missing: why, as far as the cluster still knows, and its log.
std::string failedChunkLine(const Farm& farm, const Chunk& chunk, size_t chunks, const std::string& jobId,
                            const std::vector<int>& submitted, const std::map<int, std::string>& states) {
    std::string line = "ostrivel: chunk " + std::to_string(chunk.index) + " of " + std::to_string(chunks) +
                       " (frames " + frameRange(chunk) + ") ";
    if (std::find(submitted.begin(), submitted.end(), chunk.index) == submitted.end())
        return line + "has frames missing" + (jobId.empty() ? "" : " but was not part of job " + jobId);
    const fs::path log = farm.folder.logsDir() / chunkLogName(chunk.index, jobId);
    const auto state = states.find(chunk.index);
    const bool known = state != states.end() && !state->second.empty();
    std::error_code error;
    if (!fs::exists(log, error))
        return line + "failed" + (known ? " (" + state->second + ")" : "") + " before it started: no log " + log.string();
    return line + "failed" + (known ? " (" + state->second + ")" : "") + "; log " + log.string();
}

// Verifies every frame: writes the manifest (0), or lists failed chunks and missing frames (1).
int verifyShot(const Farm& farm, const ShotRecord& record, const FrameShape& shape, const std::string& jobId,
               const std::vector<int>& submitted, const std::map<int, std::string>& states) {
    const std::vector<int> missing = missingFrames(farm.folder, record.frames, shape);
    if (missing.empty()) {
        writeManifest(farm.folder, record.frames);
        farm.out << "verified " << record.frames << " frames; wrote " << farm.folder.manifest().string() << "\n";
        return 0;
    }
    const std::vector<Chunk> plan = planChunks(record.frames, record.chunkSize);
    std::set<int> failed;
    for (int frame : missing) failed.insert(chunkOfFrame(frame, record.chunkSize));
    for (int index : failed) {
        const std::string line = failedChunkLine(farm, plan[index - 1], plan.size(), jobId, submitted, states);
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fprintf(stderr, "ostrivel: missing frames %s (%zu of %d); --resume submits only chunk%s %s\n",
                 formatRanges(missing).c_str(), missing.size(), record.frames, failed.size() == 1 ? "" : "s",
                 formatRanges({failed.begin(), failed.end()}).c_str());
    return 1;
}

int submitAndWait(const Farm& farm, const ShotRecord& record, const FrameShape& shape, const std::vector<int>& chunks,
                  bool wholeArray) {
    const std::string jobId =
        submitScript(farm.folder.script().string(), wholeArray ? "" : arrayList(chunks), farm.job.partition,
                     farm.job.timeLimitMinutes);
    recordSubmission(farm.folder, {jobId, chunks});
    printPlan(farm, record, chunks, jobId);
    if (!farm.job.wait) return 0;
    const auto states =
        waitForArray(jobId, chunks.size(), farm.job.pollSeconds, farm.job.progress && ::isatty(STDERR_FILENO));
    return verifyShot(farm, record, shape, jobId, chunks, states);
}

int startShot(Farm& farm, const Scene& scene) {
    const FarmJob& job = farm.job;
    const fs::path& root = farm.folder.root;
    std::error_code error;
    if (fs::exists(root, error) && (!fs::is_directory(root, error) || !fs::is_empty(root, error)))
        throw HostError(root.string() + " is not an empty folder and holds no shot; farm into a new or empty folder");

    ShotRecord record;
    record.frames = job.frames;
    record.chunkSize = job.chunkSize == 0 ? kDefaultChunkSize : job.chunkSize;
    record.source = fs::canonical(job.scenePath).string();
    record.binary = farm.binary;
    record.plugin = farm.plugin;
    record.partition = job.partition;
    record.timeLimitMinutes = job.timeLimitMinutes;
    const FrozenScene frozen = freezeScene(job.scenePath, scene.meshPath);
    record.scene.path = (fs::path("scene") / frozen.sceneName).string();
    checkScriptablePath("scene", (root / record.scene.path).string());
    const std::string script = batchScript(scriptFor(farm, record));

    const std::vector<Chunk> plan = planChunks(record.frames, record.chunkSize);
    if (job.dryRun) {
        farm.out << script << "# dry run: nothing written or submitted; " << plan.size() << " chunks\n";
        for (const Chunk& chunk : plan) farm.out << "#   chunk " << chunk.index << ": frames " << frameRange(chunk) << "\n";
        return 0;
    }
    checkClusterAccepts(script);  // before anything is written

    createOutputFolder(farm.folder.framesDir().string());
    createOutputFolder(farm.folder.logsDir().string());
    writeFrozenScene(farm.folder, frozen, record);
    writeFileAtomically(farm.folder.script().string(), script);
    writeShotRecord(farm.folder, record);
    std::vector<int> chunks;
    for (const Chunk& chunk : plan) chunks.push_back(chunk.index);
    return submitAndWait(farm, record, shapeOf(scene), chunks, true);
}

// Frames that an earlier submission may still write are not submitted twice.
void refuseWhileSubmissionsRun(const Farm& farm) {
    for (const Submission& submission : readSubmissions(farm.folder)) {
        std::vector<int> active;
        for (const auto& [index, state] : arrayTaskStates(submission.jobId)) {
            if (isActiveState(state)) active.push_back(index);
        }
        if (active.empty()) continue;
        throw HostError("job " + submission.jobId + " of this shot still has chunk" + (active.size() == 1 ? " " : "s ") +
                        formatRanges(active) + " pending or running; wait for it (or scancel " + submission.jobId +
                        ") before --resume");
    }
}

int resumeShot(Farm& farm, const std::vector<AttributeSpec>& declarations) {
    const FarmJob& job = farm.job;
    const ShotRecord record = readShotRecord(farm.folder);
    const std::string where = farm.folder.root.string();
    if (job.frames != record.frames)
        throw HostError("--frames " + std::to_string(job.frames) + " does not match the shot in " + where + " (" +
                        std::to_string(record.frames) + " frames)");
    if (job.chunkSize != 0 && job.chunkSize != record.chunkSize)
        throw HostError("--chunk " + std::to_string(job.chunkSize) + " does not match the shot in " + where + " (" +
                        std::to_string(record.chunkSize) + " frames per chunk)");
    if (fs::canonical(job.scenePath).string() != record.source)
        throw HostError(where + " holds a shot of " + record.source + ", not of " + job.scenePath);
    checkShotUnchanged(farm.folder, record, farm.binary, farm.plugin);
    const Scene frozen = readScene((farm.folder.root / record.scene.path).string(), declarations);

    const FrameShape shape = shapeOf(frozen);
    std::set<int> chunkSet;
    for (int frame : missingFrames(farm.folder, record.frames, shape))
        chunkSet.insert(chunkOfFrame(frame, record.chunkSize));
    const std::vector<int> chunks(chunkSet.begin(), chunkSet.end());
    if (chunks.empty()) {
        farm.out << "all " << record.frames << " frames of " << where << " are present; nothing to submit\n";
        return job.wait ? verifyShot(farm, record, shape, "", {}, {}) : 0;
    }
    if (job.dryRun) {
        farm.out << readBytes(farm.folder.script().string()) << "# dry run: would resubmit chunks "
                 << formatRanges(chunks) << " (sbatch --array=" << arrayList(chunks) << ")\n";
        return 0;
    }
    checkClusterAccepts(readBytes(farm.folder.script().string()));
    refuseWhileSubmissionsRun(farm);
    return submitAndWait(farm, record, shape, chunks, false);
}

}  // namespace

int runFarm(const FarmJob& job, std::ostream& out) {
    checkOptions(job);
    Farm farm{job, out, {fs::absolute(job.outDir).lexically_normal()}, {}, {}, nullptr};
    if (!farm.folder.root.has_filename()) farm.folder.root = farm.folder.root.parent_path();  // "out/"
    checkScriptablePath("--out", farm.folder.root.string());
    farm.library = std::make_shared<PluginLibrary>(job.pluginPath);
    farm.binary = stampOf(fs::canonical("/proc/self/exe").string());
    farm.plugin = stampOf(fs::canonical(job.pluginPath).string());
    checkScriptablePath("binary", farm.binary.path);
    checkScriptablePath("--plugin", farm.plugin.path);

    const std::vector<AttributeSpec> declarations = declarationsOf(*farm.library);
    const Scene scene = readScene(job.scenePath, declarations);
    curveAtFrame(scene.curveBase, scene.curve, 1, job.frames);  // a shot that cannot animate is refused now

    std::error_code error;
    if (fs::exists(farm.folder.record(), error)) {
        if (!job.resume)
            throw HostError(farm.folder.root.string() + " already holds a shot (shot.json); add --resume to fill in "
                            "its missing frames, or choose another folder");
        return resumeShot(farm, declarations);
    }
    if (job.resume) throw HostError("--resume: " + farm.folder.root.string() + " holds no shot (shot.json) to resume");
    return startShot(farm, scene);
}

}  // namespace ostrivel
