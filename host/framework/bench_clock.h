#pragma once
// The clock and number formatting that `ostrivel bench` and its peer benchmarks share, so
// their lines are timed and printed alike.

#include <chrono>
#include <cstdio>
#include <string>

namespace ostrivel::bench {

using Clock = std::chrono::steady_clock;

inline double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// printf-style formatting of one number ("%.2f").
inline std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

}  // namespace ostrivel::bench
