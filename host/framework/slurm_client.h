#pragma once
// The Slurm commands a farmed shot needs (sbatch, squeue), run as the user would run them:
// the user's environment (SLURM_CONF, SBATCH_* defaults) reaches them unchanged.
#include <map>
#include <string>

namespace ostrivel {

// Throws HostError unless sbatch is on the PATH and the cluster accepts the script (a
// test submission: it checks the partition and the time limit too, and starts nothing).
void checkClusterAccepts(const std::string& scriptText);

// Submits the script with `sbatch --parsable`, for only the listed array indices when
// `arrayIndices` is not empty, and in another partition or with another time limit when
// those are given; returns the job id. Throws HostError.
std::string submitScript(const std::string& scriptPath, const std::string& arrayIndices,
                         const std::string& partition = "", int timeLimitMinutes = 0);

// An array job's tasks by array index, each with its Slurm state (PENDING, RUNNING,
// COMPLETED, CANCELLED, FAILED, TIMEOUT, ...). Empty once the cluster has forgotten the job.
// Throws HostError when the cluster cannot be asked.
std::map<int, std::string> arrayTaskStates(const std::string& jobId);

// Blocks until no task of the array job can run any more, polling every pollSeconds, with
// chunk counts redrawn on one stderr line when showProgress; returns each task's last state
// (empty for a task that left the listing without one, as a cancelled pending task does).
// Three failed polls in a row throw HostError.
std::map<int, std::string> waitForArray(const std::string& jobId, size_t chunks, double pollSeconds,
                                        bool showProgress);

// Whether a task in this state may still write frames.
bool isActiveState(const std::string& state);

}  // namespace ostrivel
