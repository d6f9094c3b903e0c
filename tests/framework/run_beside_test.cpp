// The fork helper the node's refresh uses: `own` (the map scatter, which must stay on the
// calling thread) runs on the caller whatever the pool's size, `side` runs exactly once, and
// on one thread the caller runs `side` after `own`.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <tbb/global_control.h>
#include <tbb/task_arena.h>

#include "ForkJoinHints.h"

namespace {

TEST(RunBeside, OwnStaysOnTheCallerAndSideRunsOnceOnEveryThreadCount) {
    for (int threads : {1, 2, 8}) {
        tbb::global_control allow(tbb::global_control::max_allowed_parallelism, static_cast<size_t>(threads));
        tbb::task_arena arena(threads);
        for (int round = 0; round < 50; ++round) {
            std::thread::id caller, ownThread;
            std::atomic<int> ownRuns{0}, sideRuns{0};
            std::atomic<bool> ownFinished{false}, sideSawOwnFinished{false};
            arena.execute([&] {
                caller = std::this_thread::get_id();
                fork_join_hints::runBeside(
                    [&] {
                        sideSawOwnFinished = ownFinished.load();
                        ++sideRuns;
                    },
                    [&] {
                        ownThread = std::this_thread::get_id();
                        ++ownRuns;
                        ownFinished = true;
                    });
            });
            ASSERT_EQ(ownRuns.load(), 1) << threads << " threads";
            ASSERT_EQ(sideRuns.load(), 1) << threads << " threads";
            ASSERT_EQ(ownThread, caller) << threads << " threads";
            if (threads == 1) {
                ASSERT_TRUE(sideSawOwnFinished.load());
            }
        }
    }
}

}  // namespace
