#include "feedback.h"

#include <unistd.h>

#include <cstdio>

#include <hostapi/objects.h>

namespace ostrivel {

namespace {
constexpr auto kQuietStart = std::chrono::seconds(1);  // steps faster than this draw nothing
constexpr auto kRedraw = std::chrono::milliseconds(250);
}  // namespace

void Feedback::closing(const std::string& line) const {
    if (quiet) return;
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

bool Feedback::showsProgress() const { return !quiet && ::isatty(STDERR_FILENO); }

Progress::Progress(const Feedback& feedback, std::string label, long total)
    : label_(std::move(label)), total_(total) {
    if (!feedback.showsProgress()) return;
    hostapi::holdEchoedMessages(true);  // node lines would land inside the progress line
    thread_ = std::thread([this] { run(); });
}

Progress::~Progress() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
    if (drawn_) std::fputs("\r\033[K", stderr);  // the closing line or the next step takes its place
    std::fflush(stderr);
    hostapi::holdEchoedMessages(false);
}

void Progress::run() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    if (wake_.wait_for(lock, kQuietStart, [this] { return stopping_; })) return;
    do {
        draw(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    } while (!wake_.wait_for(lock, kRedraw, [this] { return stopping_; }));
}

void Progress::draw(double seconds) {
    const long done = done_.load(std::memory_order_relaxed);
    if (total_ > 0) {
        std::fprintf(stderr, "\r\033[K%s  %ld/%ld  %.0f s", label_.c_str(), done, total_, seconds);
    } else {
        std::fprintf(stderr, "\r\033[K%s  %.0f s", label_.c_str(), seconds);
    }
    std::fflush(stderr);
    drawn_ = true;
}

std::string formatMilliseconds(double milliseconds) {
    const int decimals = milliseconds >= 100 ? 0 : milliseconds >= 10 ? 1 : milliseconds >= 1 ? 2 : 3;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f ms", decimals, milliseconds);
    return text;
}

}  // namespace ostrivel
