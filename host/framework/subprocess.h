#pragma once
// Runs another program (the scheduler's command-line tools) and collects what it printed.
#include <string>
#include <vector>

namespace ostrivel {

struct ProcessResult {
    int status = -1;  // the exit status; -1 when it could not be started or was killed by a signal
    std::string out;
    std::string err;
    // The last non-empty line of stderr (or of stdout), for a one-line error message.
    std::string lastLine() const;
};

// Runs argv[0] (looked up on PATH) with `input` on its stdin and waits for it. Throws
// HostError only when no process can be created at all.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "");

// The program's path when PATH holds an executable of that name; empty otherwise.
std::string findOnPath(const std::string& program);

}  // namespace ostrivel
