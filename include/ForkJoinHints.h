#pragma once
// ThreadSanitizer sees only instrumented code, and the TBB library that hands loop bodies
// to worker threads and waits for them is not instrumented: without these hints it would
// see no ordering between the caller's writes before a loop, the bodies, and the caller's
// reads after it. Two separate tokens keep bodies unordered among themselves, so races
// between iterations are still found. In every other build the hints compile to nothing.
// Loops use parallelFor below, which places them.

#include <atomic>
#include <thread>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>

#if defined(__SANITIZE_THREAD__)
#define QUELVARN_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUELVARN_TSAN 1
#endif
#endif

#ifdef QUELVARN_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace fork_join_hints {

struct Tokens {
    char fork = 0;  // released by the caller before the loop, acquired by each body
    char join = 0;  // released by each body, acquired by the caller after the loop
};

#ifdef QUELVARN_TSAN
inline void beforeLoop(Tokens& tokens) { __tsan_release(&tokens.fork); }
inline void bodyStarts(Tokens& tokens) { __tsan_acquire(&tokens.fork); }
inline void bodyEnds(Tokens& tokens) { __tsan_release(&tokens.join); }
inline void afterLoop(Tokens& tokens) { __tsan_acquire(&tokens.join); }
#else
inline void beforeLoop(Tokens&) {}
inline void bodyStarts(Tokens&) {}
inline void bodyEnds(Tokens&) {}
inline void afterLoop(Tokens&) {}
#endif

// tbb::parallel_for with the hints around the loop and around each body.
template <class Range, class Body, class... Partitioner>
void parallelFor(const Range& range, const Body& body, const Partitioner&... partitioner) {
    Tokens tokens;
    beforeLoop(tokens);
    tbb::parallel_for(
        range,
        [&](const Range& part) {
            bodyStarts(tokens);
            body(part);
            bodyEnds(tokens);
        },
        partitioner...);
    afterLoop(tokens);
}

// Runs `own` on the calling thread and `side` on another thread of the pool when one is
// free, and returns when both are done; with one thread the caller runs `side` after `own`.
// A loop of two items, so that it gets the loop's hints.
template <class Side, class Own>
void runBeside(const Side& side, const Own& own) {
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> ownTaken{false}, sideTaken{false};
    parallelFor(
        tbb::blocked_range<int>(0, 2, 1),
        [&](const tbb::blocked_range<int>& items) {
            for (int k = items.begin(); k != items.end(); ++k) {
                if (std::this_thread::get_id() == caller && !ownTaken.exchange(true)) {
                    own();
                } else if (!sideTaken.exchange(true)) {
                    side();
                }
            }
        },
        tbb::auto_partitioner());
    // Neither happens with TBB's own loop, whose caller runs the first item.
    if (!ownTaken.load()) own();
    if (!sideTaken.load()) side();
}

}  // namespace fork_join_hints
