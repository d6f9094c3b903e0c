#pragma once
// How a farmed shot is cut up and run: its chunks (one job-array task each) and the batch
// script every task runs.
#include <string>
#include <vector>

namespace ostrivel {

struct Chunk {
    int index = 0;  // 1-based: the task's array index
    int first = 0;  // frames, inclusive
    int last = 0;
};

// ceil(frames / chunkSize) chunks of chunkSize frames; the last one takes the rest.
std::vector<Chunk> planChunks(int frames, int chunkSize);

// The chunk that renders a frame.
int chunkOfFrame(int frame, int chunkSize);

// "1-6, 9, 12-13": sorted frame (or chunk) numbers with runs collapsed.
std::string formatRanges(const std::vector<int>& numbers);

// "1,3,4": array indices for sbatch --array.
std::string arrayList(const std::vector<int>& numbers);

// What the batch script runs: absolute paths throughout, so it works from any folder.
struct ShotScript {
    std::string binary;     // ostrivel
    std::string plugin;
    std::string scene;      // the frozen scene
    std::string framesDir;  // where the tasks write frame files
    std::string logsDir;
    std::string jobName;
    std::string partition;  // empty: the cluster's default partition
    int timeLimitMinutes = 0;  // 0: the partition's limit
    int frames = 0;
    int chunkSize = 0;
};

// A job array of ceil(frames / chunkSize) tasks; task i runs `ostrivel animate` for chunk
// i's frames and logs to logsDir/chunk_<i>-job_<array job id>.log. Each task writes only
// its own frame files and its own log.
std::string batchScript(const ShotScript& shot);

// The log of one chunk of one submission, as the script names it.
std::string chunkLogName(int chunk, const std::string& jobId);

// Refuses (HostError) a path that a batch script or Slurm's log-name patterns cannot carry:
// whitespace, quotes, backslashes, '$', '`' or '%'.
void checkScriptablePath(const std::string& what, const std::string& path);

}  // namespace ostrivel
