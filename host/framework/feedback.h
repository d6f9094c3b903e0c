#pragma once
// What a command tells its user besides errors: progress on stderr while a long step runs
// (only when stderr is a terminal, and only once the step has taken a second), and one
// closing line on stdout saying what was written. Quiet silences both; errors never are.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace ostrivel {

struct Feedback {
    bool quiet = true;  // library callers stay silent; ostrivel clears it unless -q is given

    // Prints `line` and a newline on stdout unless quiet.
    void closing(const std::string& line) const;
    bool showsProgress() const;
};

// One step's progress line, redrawn in place: "binding 2000000 points  12 s" or, with a
// total, "animate  57/240  12 s". Erased when the step ends.
class Progress {
public:
    Progress(const Feedback& feedback, std::string label, long total = 0);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void set(long done) { done_.store(done, std::memory_order_relaxed); }

private:
    void run();
    void draw(double seconds);

    std::string label_;
    long total_;
    std::atomic<long> done_{0};
    bool drawn_ = false;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;  // only while progress is shown
};

// "3.14 ms": milliseconds with three significant digits at most, no exponent.
std::string formatMilliseconds(double milliseconds);

}  // namespace ostrivel
