#pragma once
// Ctrl-C (SIGINT) or SIGTERM while a long job runs: the job notices at its next safe point
// (animate: between frames), finishes nothing half-way and says how to go on.

#include <string>
#include <vector>

namespace ostrivel {

// While alive, SIGINT and SIGTERM only set a flag; a second signal ends the process as
// usual. The previous handlers come back on destruction.
class StopOnSignal {
public:
    StopOnSignal();
    ~StopOnSignal();
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

    // The signal that arrived, or 0.
    int received() const;
    // "SIGINT" or "SIGTERM".
    static std::string name(int signal);
};

// The command line as typed with its --first/--last replaced by the given range, each word
// quoted for a POSIX shell where it needs it.
std::string commandWithRange(const std::vector<std::string>& commandLine, int first, int last);

}  // namespace ostrivel
