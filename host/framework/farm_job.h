#pragma once
// `ostrivel farm`: a shot's frames as a Slurm job array. The scene (and its OBJ) is frozen
// into the output folder with the hashes of everything that decides the frames; each array
// task runs `ostrivel animate --first --last` for its chunk; --wait verifies every frame and
// writes a manifest; --resume submits only the chunks whose frames are missing.
#include <ostream>
#include <string>

#include "plugin_library.h"

namespace ostrivel {

constexpr int kDefaultChunkSize = 10;

struct FarmJob {
    std::string scenePath;
    std::string outDir;
    std::string pluginPath = PluginLibrary::defaultPath();
    int frames = 0;
    int chunkSize = 0;  // 0: kDefaultChunkSize, or the shot's own on --resume
    std::string partition;      // empty: the cluster's default
    int timeLimitMinutes = 0;   // 0: the partition's limit
    bool dryRun = false;
    bool wait = false;
    bool resume = false;
    bool progress = false;      // chunk counts on stderr while waiting, when it is a terminal
    double pollSeconds = 1.0;
};

// 0 when the job was submitted (with --wait: and every frame came back), 1 when --wait
// found frames missing (each failed chunk and the missing frames are listed on stderr).
// Throws HostError for bad options, a refused scene or folder, a changed shot on --resume,
// or a missing or unreachable cluster; nothing is written then.
int runFarm(const FarmJob& job, std::ostream& out);

}  // namespace ostrivel
