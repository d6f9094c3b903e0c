// Memory the node holds and allocates, counted by replacing the global allocation
// functions (the plug-in's calls reach them too): the bytes it owns per point at a million
// points, and no allocation that grows with the point count inside an evaluation.
#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include <tbb/global_control.h>
#include <tbb/task_arena.h>

#include "node_fixture.h"

namespace {

std::atomic<long long> liveBytes{0};
std::atomic<long long> allocationCalls{0};

void* countedAllocate(std::size_t size, std::size_t alignment = 0) {
    if (size == 0) size = 1;
    if (alignment && size > SIZE_MAX - alignment) throw std::bad_alloc();
    // aligned_alloc wants a size that is a multiple of the alignment
    void* p = alignment ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment) : std::malloc(size);
    if (!p) throw std::bad_alloc();
    liveBytes.fetch_add(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
    allocationCalls.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void countedRelease(void* p) {
    if (!p) return;
    liveBytes.fetch_sub(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return countedAllocate(size); }
void* operator new[](std::size_t size) { return countedAllocate(size); }
void operator delete(void* p) noexcept { countedRelease(p); }
void operator delete[](void* p) noexcept { countedRelease(p); }
void operator delete(void* p, std::size_t) noexcept { countedRelease(p); }
void operator delete[](void* p, std::size_t) noexcept { countedRelease(p); }
void* operator new(std::size_t size, std::align_val_t a) { return countedAllocate(size, static_cast<std::size_t>(a)); }
void operator delete(void* p, std::align_val_t) noexcept { countedRelease(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { countedRelease(p); }

using namespace node_testing;

namespace {

class Allocation : public NodeFixture {
protected:
    // `count` points spread over the plane, each with a painted push and slide map entry,
    // under curves that move every point.
    void buildScene(int count) {
        host->setCurve("curve", lineCurve({0.01, 0.02, 0.03}));
        host->setNumber("ud_factor", 0.3);
        host->setNumber("lr_factor", 0.2);
        std::vector<std::pair<float, float>> params;
        std::vector<float> painted;
        for (int k = 0; k < count; ++k) {
            params.push_back({0.05f + 0.9f * static_cast<float>(k % 997) / 997.0f, 0.05f + 0.9f * static_cast<float>(k % 991) / 991.0f});
            painted.push_back(static_cast<float>(k % 5) * 0.2f);
        }
        bindAt(params, 0.1);
        host->setDenseArray("pushMap", painted);
        host->setDenseArray("umap", painted);
        start = record.points;
    }

    // Allocation calls of one evaluation from the scene's points, on one thread.
    long long callsOfOneEvaluation() {
        record.points = start;
        const AttributeMap map = evaluationMap();
        long long calls = 0;
        tbb::task_arena arena(1);
        arena.execute([&] {
            const long long before = allocationCalls.load();
            EXPECT_EQ(node().deform(const_cast<AttributeMap&>(map), record), 0);
            calls = allocationCalls.load() - before;
        });
        return calls;
    }

    std::vector<KxPoint> start;
};

TEST_F(Allocation, TheNodeOwnsAtMostTwoHundredBytesPerPointAtAMillionPoints) {
    const int count = 1000000;
    buildScene(count);
    AttributeMap map = evaluationMap();  // the host's own values are made before counting
    const long long before = liveBytes.load();
    ASSERT_EQ(node().deform(map, record), 0);  // the first evaluation builds every cache
    const long long owned = liveBytes.load() - before;
    const double perPoint = static_cast<double>(owned) / count;
    RecordProperty("bytes_per_point", std::to_string(perPoint));
    EXPECT_GE(perPoint, 180.0);  // the rest frames and thirteen maps are really held
    EXPECT_LE(perPoint, 200.0);
}

TEST_F(Allocation, EvaluationsAllocateNothingPerPoint) {
    for (bool reference : {false, true}) {
        for (bool cached : {true, false}) {
            long long calls[2] = {};
            for (int size = 0; size < 2; ++size) {
                SetUp();
                settings.referencePath = reference;
                settings.cacheAttributes = cached;
                buildScene(size == 0 ? 100 : 20000);
                callsOfOneEvaluation();  // the first one builds the caches
                calls[size] = callsOfOneEvaluation();
            }
            EXPECT_EQ(calls[0], calls[1]) << "reference " << reference << ", cached " << cached;
        }
    }
}

}  // namespace
