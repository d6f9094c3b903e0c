// The node's evaluation through the framework host: the wide slide (the default) and the
// plain reference ("REFERENCE_PATH") give identical bytes, on rational and polynomial
// surfaces, for both methods and parameter types, with the caches kept or rebuilt, and
// whatever number of threads runs the loops.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>

#include <tbb/global_control.h>
#include <tbb/task_arena.h>

#include "node_fixture.h"

using namespace node_testing;

namespace {

// A bicubic 7 x 6 surface over knots {0,0,0,1,2,3,4,4,4} (u) and {0,0,0,1,2,3,3,3} (v),
// optionally rational: its weights are dropped by the node.
hostapi::NurbsSurfaceGeometry bicubicGeometry(bool rational) {
    hostapi::NurbsSurfaceGeometry s;
    s.degreeU = s.degreeV = 3;
    s.cvCountU = 7;
    s.cvCountV = 6;
    s.knotsU = {0, 0, 0, 1, 2, 3, 4, 4, 4};
    s.knotsV = {0, 0, 0, 1, 2, 3, 3, 3};
    for (int iu = 0; iu < 7; ++iu) {
        for (int iv = 0; iv < 6; ++iv) {
            const double w = rational ? 0.6 + 0.1 * ((iu + 2 * iv) % 5) : 1.0;
            s.cvs.push_back({iu * 0.7, iv * 0.8, 0.3 * std::sin(iu * 1.1) * std::cos(iv * 0.7), w});
        }
    }
    return s;
}

// Cubic profile curves on shared knots; `lift` bends the driver.
CurveData cubicCurve(double lift) {
    CurveData c;
    c.degree = 3;
    c.knots = {0, 0, 0, 0, 0.5f, 1, 1, 1, 1};
    c.cvs = {{0, 0, 0}, {0.25, lift, 0.5 * lift}, {0.5, 0.4 * lift, -lift}, {0.75, -0.3 * lift, 0.2 * lift}, {1, 0, 0}};
    return c;
}

class WideDeform : public NodeFixture {
protected:
    // 203 points over the parameter square (a count that fills no whole lane group), with
    // painted maps on some of them.
    void buildScene(bool rational, int method, int paramType) {
        setSurface(bicubicGeometry(rational));
        host->setCurve("curve", cubicCurve(0.3));
        host->setCurve("curveBase", cubicCurve(0.0));
        host->setNumber("slidingMethod", method);
        host->setNumber("paramType", paramType);
        host->setNumber("ud_factor", 0.3);
        host->setNumber("lr_factor", -0.2);
        host->setNumber("lr_center", 0.45);
        host->setNumber("push_coeff", 0.7);
        host->setNumber("startParam", 0.05);
        host->setNumber("endParam", 0.95);
        std::vector<std::pair<float, float>> params;
        for (int k = 0; k < 203; ++k) params.push_back({std::fmod(k * 0.6180339f, 1.0f), std::fmod(k * 0.4142135f, 1.0f)});
        bindAt(params, 0.05);
        for (size_t k = 0; k < record.points.size(); ++k) record.points[k].z += 0.01 * static_cast<double>(k % 7);
        record.weights[3] = 0.0f;
        record.weights[10] = 0.5f;
        host->setArray("pushMap", {1, 2, 5, 50}, {0.5f, 1.0f, 0.25f, 0.8f});
        host->setArray("upushOutMap", {0, 1, 2, 3, 4, 5}, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f});
        host->setArray("dpushInMap", {7, 8, 9}, {0.3f, 0.2f, 0.1f});
        host->setArray("lmap", {11, 12}, {0.0f, 0.5f});
        host->setArray("rpushInMap", {20, 21, 22}, {0.9f, 0.9f, 0.9f});
    }

    // Points after `evaluations` evaluations from the scene's points, `threads` workers.
    std::vector<KxPoint> run(bool reference, int threads, int evaluations = 1) {
        settings.referencePath = reference;
        const std::vector<KxPoint> start = record.points;
        tbb::global_control allow(tbb::global_control::max_allowed_parallelism, static_cast<size_t>(threads));
        tbb::task_arena arena(threads);
        arena.execute([&] {
            for (int k = 0; k < evaluations; ++k) {
                record.points = start;
                EXPECT_EQ(deform(), 0);
            }
        });
        return std::exchange(record.points, start);
    }
};

bool sameBytes(const std::vector<KxPoint>& a, const std::vector<KxPoint>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(KxPoint)) == 0;
}

// Points that read another point's parameters (rows with otherParameters) keep their own
// attachment lookup in a refresh, where the others take it from their rest frames.
TEST_F(WideDeform, WideAndReferenceGiveTheSameBytesOnEveryThreadCount) {
    struct Row {
        bool rational;
        int method, paramType;
        bool otherParameters;
    };
    for (const Row& r : {Row{false, 0, 0, true}, Row{true, 0, 1, false}, Row{true, 1, 0, true}, Row{false, 1, 1, false}}) {
        SetUp();
        buildScene(r.rational, r.method, r.paramType);
        if (r.otherParameters) {
            for (int k = 40; k < 80; ++k) record.indices[static_cast<size_t>(k)] = (k * 37 + 5) % 203;
            record.indices[201] = 0;  // in the last, partial group
        }
        settings.cacheAttributes = false;  // every evaluation rebuilds the rest frames with its own path
        const std::vector<KxPoint> reference = run(true, 1);
        size_t moved = 0;
        for (size_t k = 0; k < reference.size(); ++k)
            moved += std::memcmp(&reference[k], &record.points[k], sizeof(KxPoint)) != 0;
        EXPECT_GT(moved, 150u);
        for (int threads : {1, 2, 8}) {
            EXPECT_TRUE(sameBytes(run(false, threads), reference)) << r.rational << r.method << r.paramType << threads;
            EXPECT_TRUE(sameBytes(run(true, threads), reference)) << r.rational << r.method << r.paramType << threads;
        }
        // Cached evaluations after the first give the same bytes again.
        settings.cacheAttributes = true;
        EXPECT_TRUE(sameBytes(run(false, 2, 3), reference));
    }
}

// While the calling thread scatters long maps, another thread builds the rest frames of the
// first points, which then only slide: however far it gets (nowhere on one thread), the
// bytes are the reference's.
TEST_F(WideDeform, RestFramesBuiltBesideTheMapsGiveTheSameBytes) {
    for (int method : {0, 1}) {
        SetUp();
        buildScene(false, method, 1);
        const int n = 40000;
        std::vector<std::pair<float, float>> params;
        for (int k = 0; k < n; ++k) params.push_back({std::fmod(k * 0.6180339f, 1.0f), std::fmod(k * 0.4142135f, 1.0f)});
        bindAt(params, 0.05);
        std::vector<int32_t> indices(static_cast<size_t>(n));
        std::iota(indices.begin(), indices.end(), 0);
        std::vector<float> values;
        for (int k = 0; k < n; ++k) values.push_back(static_cast<float>(k % 97) / 97.0f);
        for (const char* map : {"pushMap", "umap", "upushInMap", "upushOutMap", "dmap", "dpushInMap", "dpushOutMap",
                                "lpushInMap", "lpushOutMap", "rpushInMap", "rpushOutMap"})
            host->setArray(map, indices, values);
        settings.cacheAttributes = false;
        const std::vector<KxPoint> reference = run(true, 1);
        const auto frames = node().restFrameInverses;
        for (int threads : {1, 2, 8}) {
            // Frames a pass failed to build would keep these zeros.
            node().restFrameInverses.assign(frames.size(), Imath::M44d(0.0));
            EXPECT_TRUE(sameBytes(run(false, threads), reference)) << method << ", " << threads << " threads";
            EXPECT_EQ(std::memcmp(node().restFrameInverses.data(), frames.data(), frames.size() * sizeof(Imath::M44d)), 0)
                << method << ", " << threads << " threads";
        }
    }
}

TEST_F(WideDeform, RationalWeightsAreDroppedByBothPaths) {
    buildScene(true, 1, 0);
    const std::vector<KxPoint> rational = run(false, 2);
    SetUp();
    buildScene(false, 1, 0);
    EXPECT_TRUE(sameBytes(run(true, 2), rational));
}

}  // namespace
