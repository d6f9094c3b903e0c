#include "slurm_client.h"

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "plugin_library.h"
#include "subprocess.h"

namespace ostrivel {

namespace {

void requireSbatch() {
    if (findOnPath("sbatch").empty())
        throw HostError("sbatch is not on the PATH: farming needs a Slurm client (the slurm-client package) "
                        "and a reachable cluster; --dry-run prints the job script without them");
}

// A controller that is down fails here at once; sbatch alone would retry for a while.
void requireController() {
    if (findOnPath("scontrol").empty()) return;
    const ProcessResult ping = runProcess({"scontrol", "ping"});
    if (ping.status == 0 || ping.out.find(" is UP") != std::string::npos) return;
    const std::string first = ping.out.substr(0, ping.out.find('\n'));
    throw HostError("no Slurm controller answers: " + (ping.out.empty() ? ping.lastLine() : first));
}

}  // namespace

void checkClusterAccepts(const std::string& scriptText) {
    requireSbatch();
    requireController();
    const ProcessResult test = runProcess({"sbatch", "--test-only"}, scriptText);
    if (test.status != 0) throw HostError("the Slurm cluster cannot be reached or refuses the job: " + test.lastLine());
}

std::string submitScript(const std::string& scriptPath, const std::string& arrayIndices,
                         const std::string& partition, int timeLimitMinutes) {
    requireSbatch();
    std::vector<std::string> command = {"sbatch", "--parsable"};
    if (!arrayIndices.empty()) command.push_back("--array=" + arrayIndices);
    if (!partition.empty()) command.push_back("--partition=" + partition);
    if (timeLimitMinutes > 0) command.push_back("--time=" + std::to_string(timeLimitMinutes));
    command.push_back(scriptPath);
    const ProcessResult submitted = runProcess(command);
    // --parsable prints "jobid" or "jobid;cluster".
    const std::string id = submitted.out.substr(0, submitted.out.find_first_of(";\n"));
    if (submitted.status != 0 || id.empty() || id.find_first_not_of("0123456789") != std::string::npos)
        throw HostError("sbatch did not submit " + scriptPath + ": " + submitted.lastLine());
    return id;
}

std::map<int, std::string> arrayTaskStates(const std::string& jobId) {
    const ProcessResult listed = runProcess({"squeue", "--noheader", "--array", "--states=all", "--jobs=" + jobId,
                                             "--format=%K %T"});
    std::map<int, std::string> states;
    if (listed.status != 0) {
        // Finished jobs leave the controller's memory after a while; the frames tell the rest.
        if (listed.err.find("Invalid job id") != std::string::npos) return states;
        throw HostError("cannot ask the Slurm cluster about job " + jobId + ": " + listed.lastLine());
    }
    std::istringstream lines(listed.out);
    std::string index, state;
    while (lines >> index >> state) {
        if (index.find_first_not_of("0123456789") == std::string::npos) states[std::stoi(index)] = state;
    }
    return states;
}

namespace {

// Chunk counts on one terminal line, redrawn in place.
void drawProgress(const std::string& jobId, const std::map<int, std::string>& states, size_t chunks) {
    size_t done = 0, running = 0, pending = 0, failed = 0;
    for (const auto& [index, state] : states) {
        if (state == "COMPLETED") ++done;
        else if (state == "RUNNING" || state == "COMPLETING" || state == "CONFIGURING") ++running;
        else if (isActiveState(state)) ++pending;
        else ++failed;
    }
    std::fprintf(stderr, "\rfarm job %s: %zu of %zu chunks done, %zu running, %zu pending, %zu failed   ",
                 jobId.c_str(), done, chunks, running, pending, failed);
    std::fflush(stderr);
}

}  // namespace

std::map<int, std::string> waitForArray(const std::string& jobId, size_t chunks, double pollSeconds,
                                        bool showProgress) {
    std::map<int, std::string> last;
    for (int failures = 0;;) {
        std::map<int, std::string> now;
        try {
            now = arrayTaskStates(jobId);
            failures = 0;
        } catch (const HostError&) {
            if (++failures == 3) throw;  // a controller restart is survived; a lost cluster is not
        }
        if (failures == 0) {
            // A task cancelled before it started leaves the listing at once: its state is lost.
            for (auto& [index, state] : last) {
                if (now.count(index) == 0) state.clear();
            }
            for (const auto& [index, state] : now) last[index] = state;
        }
        if (showProgress) drawProgress(jobId, last, chunks);
        bool active = false;
        for (const auto& [index, state] : now) active = active || isActiveState(state);
        if (failures == 0 && !active) break;
        std::this_thread::sleep_for(std::chrono::duration<double>(pollSeconds));
    }
    if (showProgress) std::fputc('\n', stderr);
    return last;
}

bool isActiveState(const std::string& state) {
    for (const char* active : {"PENDING", "CONFIGURING", "RUNNING", "COMPLETING", "SUSPENDED", "REQUEUED",
                               "RESIZING", "SIGNALING", "STAGE_OUT", "STOPPED", "RESV_DEL_HOLD", "REQUEUE_HOLD",
                               "REQUEUE_FED"}) {
        if (state == active) return true;
    }
    return false;
}

}  // namespace ostrivel
