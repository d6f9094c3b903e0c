// The host's device slide against the node's CPU pass, on the host's real OpenCL device
// (PoCL in CI): the same scenes through both, results within 1e-4, unmoved points
// untouched, caches uploaded once per refresh, buffers and the kernel reused.

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <random>

#include <hostapi/objects.h>

#include "../framework/test_support.h"
#include "device_slide.h"
#include "nurbs_geometry.h"
#include "quelvarn.h"

namespace {

using ostrivel::DeformerNode;

constexpr double kAgreement = 1e-4;  // absolute, or relative to the coordinate

// A curved, cubic-by-quadratic surface over the u domain [0, 2] and v domain [0, 1].
hostapi::NurbsSurfaceGeometry bumpGeometry() {
    hostapi::NurbsSurfaceGeometry surface;
    surface.degreeU = 3;
    surface.degreeV = 2;
    surface.cvCountU = 6;
    surface.cvCountV = 5;
    surface.knotsU = {0.0, 0.0, 0.0, 0.5, 1.0, 2.0, 2.0, 2.0};
    surface.knotsV = {0.0, 0.0, 0.25, 0.5, 1.0, 1.0};
    for (int iu = 0; iu < surface.cvCountU; ++iu) {
        for (int iv = 0; iv < surface.cvCountV; ++iv)
            surface.cvs.push_back({iu * 0.4, iv * 0.5, 0.3 * std::sin(iu * 1.3) * std::cos(iv * 0.9), 1.0});
    }
    return surface;
}

// The bump lifted and sheared: the current surface that the points follow.
hostapi::NurbsSurfaceGeometry movedBump() {
    hostapi::NurbsSurfaceGeometry surface = bumpGeometry();
    for (auto& cv : surface.cvs) {
        cv[2] += 0.1 + 0.05 * cv[0];
        cv[0] += 0.02 * cv[1];
    }
    return surface;
}

// A cubic profile curve; `scale` 0 gives the rest copy.
CurveData profile(double scale) {
    CurveData curve;
    curve.degree = 3;
    curve.knots = {0, 0, 0, 0, 0.4f, 1, 1, 1, 1};
    for (int k = 0; k < 5; ++k)
        curve.cvs.push_back({k * 0.25 + scale * 0.08 * std::sin(k * 1.7), scale * 0.12 * std::cos(k * 0.8) + scale * 0.02,
                             scale * 0.05 * (k - 2)});
    return curve;
}

struct SceneCase {
    const char* name;
    int slidingMethod;
    int paramType;
    float startParam, endParam, lrCenter;
    float udFactor, lrFactor, pushCoeff;
    int points;
    bool sparseMaps;
};

// Two nodes built the same way: one for the CPU pass, one for the device slide.
struct ScenePair {
    std::unique_ptr<DeformerNode> cpu, device;
    DeformAttributes record;
    ostrivel::EvaluationSettings settings;

    void forBoth(const std::function<void(DeformerNode&)>& change) {
        change(*cpu);
        change(*device);
    }
};

// The caches are built while "surface" is still the rest shape (as a rig binds); the
// current shape comes after.
ScenePair makeScene(const SceneCase& c, unsigned seed) {
    ScenePair scene;
    scene.cpu = std::make_unique<DeformerNode>(testing_support::plugin(), "cpuNode");
    scene.device = std::make_unique<DeformerNode>(testing_support::plugin(), "deviceNode");
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int n = c.points;
    std::vector<float> us(static_cast<size_t>(n)), vs(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        us[k] = unit(random);
        vs[k] = unit(random);
        // Every seventh point sits exactly on a window edge, which is open.
        float& along = c.paramType == 0 ? vs[k] : us[k];
        if (k % 7 == 3) along = k % 2 ? c.startParam : c.endParam;
    }
    const MObject rest = hostapi::makeNurbsSurface(bumpGeometry());
    const MObject current = hostapi::makeNurbsSurface(movedBump());
    std::vector<float> weights(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) weights[k] = k % 11 == 5 ? 0.5e-5f : (k % 13 == 0 ? 1e-5f : 0.2f + 0.8f * unit(random));
    scene.forBoth([&](DeformerNode& node) {
        node.setSurface("surface", rest);
        node.setSurface("surfaceBase", rest);
        node.setCurve("curve", profile(1.0));
        node.setCurve("curveBase", profile(0.0));
        node.setDenseArray("uparams", us);
        node.setDenseArray("vparams", vs);
        for (const auto& [name, value] : {std::pair<const char*, double>{"slidingMethod", c.slidingMethod},
                                          {"paramType", c.paramType}, {"startParam", c.startParam},
                                          {"endParam", c.endParam}, {"lr_center", c.lrCenter},
                                          {"ud_factor", c.udFactor}, {"lr_factor", c.lrFactor},
                                          {"push_coeff", c.pushCoeff}})
            node.setNumber(name, value);
    });
    if (c.sparseMaps) {
        // Every map names a random third of the points, some twice, some out of range.
        for (const char* map : {"pushMap", "umap", "dmap", "lmap", "rmap", "upushInMap", "dpushInMap", "lpushInMap",
                                "rpushInMap", "upushOutMap", "dpushOutMap", "lpushOutMap", "rpushOutMap"}) {
            std::vector<int32_t> indices;
            std::vector<float> values;
            for (int k = 0; k < n / 3 + 2; ++k) {
                indices.push_back(static_cast<int32_t>(random() % static_cast<unsigned>(n + 4)) - 2);
                values.push_back(unit(random));
            }
            scene.forBoth([&](DeformerNode& node) { node.setArray(map, indices, values); });
        }
    }
    // Points off the rest surface, so both re-attachments carry an offset.
    for (int k = 0; k < n; ++k)
        scene.record.points.push_back({0.8 * us[k] + 0.1 * unit(random), 2.0 * vs[k] - 0.1 * unit(random),
                                       0.2 * unit(random) - 0.1});
    scene.record.weights = weights;
    for (int k = 0; k < n; ++k) scene.record.indices.push_back(k);
    DeformAttributes warmUp = scene.record;
    EXPECT_EQ(scene.cpu->deform(scene.settings, warmUp), 0);
    DeviceDeformAttributes deviceRecord;
    deviceRecord.pointCount = n;
    EXPECT_EQ(scene.device->prepareDeviceData(scene.settings, deviceRecord), 0);
    scene.forBoth([&](DeformerNode& node) { node.setSurface("surface", current); });
    return scene;
}

double deviation(const KxPoint& a, const KxPoint& b) {
    double worst = 0.0;
    for (const auto& [p, q] : {std::pair{a.x, b.x}, std::pair{a.y, b.y}, std::pair{a.z, b.z}})
        worst = std::max(worst, std::fabs(p - q) / std::max(1.0, std::fabs(p)));
    return worst;
}

class DeviceSlideTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(DeviceSlide::unavailableReason(), "") << "these tests need an OpenCL device (PoCL in CI)";
        testing_support::quietLog();
    }

    // One CPU evaluation and one device evaluation of the scene's points: the results.
    std::pair<std::vector<KxPoint>, std::vector<KxPoint>> evaluateBoth(ScenePair& scene, DeviceSlide& slide) {
        DeformAttributes cpuRecord = scene.record, deviceRecord = scene.record;
        EXPECT_EQ(scene.cpu->deform(scene.settings, cpuRecord), 0);
        AttributeMap map = scene.device->evaluationMap(scene.settings);
        EXPECT_EQ(slide.evaluate(scene.device->node(), map, deviceRecord), 0);
        EXPECT_THAT(testing_support::shownMessages(), ::testing::IsEmpty());
        return {cpuRecord.points, deviceRecord.points};
    }

    // Within kAgreement of the CPU pass; points the CPU pass left alone come back bit for bit.
    void compare(const ScenePair& scene, const std::vector<KxPoint>& cpu, const std::vector<KxPoint>& device,
                 const char* name) {
        size_t moved = 0;
        for (size_t k = 0; k < cpu.size(); ++k) {
            const KxPoint& before = scene.record.points[k];
            const bool cpuMoved = cpu[k].x != before.x || cpu[k].y != before.y || cpu[k].z != before.z;
            moved += cpuMoved;
            if (!cpuMoved) {
                EXPECT_EQ(deviation(device[k], before), 0.0) << name << ": point " << k << " moved only on the device";
                continue;
            }
            EXPECT_LE(deviation(cpu[k], device[k]), kAgreement) << name << ": point " << k;
        }
        EXPECT_GT(moved, cpu.size() / 20) << name << ": the scene should move points";
    }
};

TEST_F(DeviceSlideTest, AgreesWithTheCpuPassOnVariedScenes) {
    const SceneCase cases[] = {
        // name                     method U/V start end   lrCtr  ud    lr    push  points sparse
        {"vector, U, defaults",      0, 0, 0.0f, 1.0f, 0.5f, 0.0f, 0.0f, 1.0f, 1000, false},
        {"vector, U, slides+pushes", 0, 0, 0.1f, 0.9f, 0.4f, 0.3f, 0.2f, 0.7f, 1237, true},
        {"vector, V, slides+pushes", 0, 1, 0.2f, 0.8f, 0.6f, 0.25f, 0.35f, 1.3f, 777, true},
        {"matrix, U, slides+pushes", 1, 0, 0.05f, 0.95f, 0.5f, 0.3f, 0.2f, 0.9f, 1025, true},
        {"matrix, V, defaults",      1, 1, 0.0f, 1.0f, 0.5f, 0.0f, 0.0f, 1.0f, 3, false},
        {"matrix, V, narrow window", 1, 1, 0.45f, 0.55f, 0.5f, 0.5f, 0.5f, 0.4f, 4099, true},
        {"vector, V, no push",       0, 1, 0.0f, 1.0f, 0.9f, 0.4f, 0.4f, 0.0f, 257, true},
    };
    unsigned seed = 1;
    for (const SceneCase& c : cases) {
        ScenePair scene = makeScene(c, seed++);
        DeviceSlide slide;
        auto [cpu, device] = evaluateBoth(scene, slide);
        compare(scene, cpu, device, c.name);
        // Envelope and weights below the threshold: what the CPU leaves, the device leaves.
        scene.settings.envelope = 0.5f;
        std::tie(cpu, device) = evaluateBoth(scene, slide);
        compare(scene, cpu, device, c.name);
    }
}

TEST_F(DeviceSlideTest, ReusesBuffersAndTheKernelAndUploadsCachesOncePerRefresh) {
    const SceneCase c = {"reuse", 1, 0, 0.1f, 0.9f, 0.4f, 0.3f, 0.2f, 0.7f, 600, true};
    ScenePair scene = makeScene(c, 42);
    DeviceSlide slide;
    auto [cpu, first] = evaluateBoth(scene, slide);
    const cl_mem caches = slide.cacheBuffer();
    const int builds = DeviceSlide::programBuilds();
    EXPECT_EQ(builds, 1);  // once per process, whichever test came first
    EXPECT_EQ(slide.cacheUploads(), 1);
    for (int k = 0; k < 3; ++k) {
        auto [again, device] = evaluateBoth(scene, slide);
        EXPECT_EQ(slide.cacheBuffer(), caches);
        EXPECT_EQ(slide.cacheUploads(), 1);
        for (size_t p = 0; p < device.size(); ++p) ASSERT_EQ(deviation(device[p], first[p]), 0.0);
    }
    DeviceSlide another;
    evaluateBoth(scene, another);
    EXPECT_EQ(DeviceSlide::programBuilds(), builds);

    // Changed maps while caching: neither path sees them until the caches are refreshed.
    scene.forBoth([](DeformerNode& node) { node.setArray("umap", {0, 1, 2, 3}, {0.0f, 0.0f, 0.0f, 0.0f}); });
    scene.forBoth([](DeformerNode& node) { node.setArray("upushOutMap", {5, 6}, {1.0f, 0.5f}); });
    auto [cpuKept, deviceKept] = evaluateBoth(scene, slide);
    EXPECT_EQ(slide.cacheUploads(), 1);
    compare(scene, cpuKept, deviceKept, "caches kept");
    for (size_t p = 0; p < deviceKept.size(); ++p) ASSERT_EQ(deviation(deviceKept[p], first[p]), 0.0);

    // After invalidateDeviceData the node rebuilds and the host uploads again; the CPU node
    // rebuilds once without caching. Both take the current shape as the rest one.
    scene.device->node().invalidateDeviceData();
    DeformAttributes cpuRecord = scene.record, deviceRecord = scene.record;
    ostrivel::EvaluationSettings refresh = scene.settings;
    refresh.cacheAttributes = false;
    ASSERT_EQ(scene.cpu->deform(refresh, cpuRecord), 0);
    AttributeMap map = scene.device->evaluationMap(scene.settings);
    ASSERT_EQ(slide.evaluate(scene.device->node(), map, deviceRecord), 0);
    EXPECT_EQ(slide.cacheUploads(), 2);
    EXPECT_EQ(slide.cacheBuffer(), caches);  // same size: the buffer is written, not remade
    compare(scene, cpuRecord.points, deviceRecord.points, "refreshed");
    size_t changed = 0;
    for (size_t p = 0; p < first.size(); ++p) changed += deviation(deviceRecord.points[p], first[p]) > 0.0;
    EXPECT_GT(changed, first.size() / 4);  // the new rest shape and maps are in use

    // Without caching every evaluation refreshes, and so uploads.
    scene.settings.cacheAttributes = false;
    evaluateBoth(scene, slide);
    evaluateBoth(scene, slide);
    EXPECT_EQ(slide.cacheUploads(), 4);
}

TEST_F(DeviceSlideTest, FollowsPointCountChangesAndLeavesTheNodesHandlesEmpty) {
    SceneCase c = {"count", 0, 1, 0.0f, 1.0f, 0.5f, 0.3f, 0.3f, 1.0f, 300, true};
    ScenePair small = makeScene(c, 7);
    DeviceSlide slide;
    auto [cpu, device] = evaluateBoth(small, slide);
    compare(small, cpu, device, "300 points");
    // Both nodes now see 301 points: their caches are resized, and the device's re-uploaded.
    c.points = 301;
    const ScenePair larger = makeScene(c, 8);
    small.forBoth([&](DeformerNode& node) {
        node.setDenseArray("uparams", larger.cpu->plugValue("uparams").values);
        node.setDenseArray("vparams", larger.cpu->plugValue("vparams").values);
    });
    small.record = larger.record;
    std::tie(cpu, device) = evaluateBoth(small, slide);
    compare(small, cpu, device, "301 points");
    EXPECT_EQ(slide.cacheUploads(), 2);

    const MyNode& node = static_cast<const MyNode&>(small.device->node());
    for (const MapCache* cache : {&node.pushMap, &node.umap, &node.dmap, &node.lmap, &node.rmap, &node.upushInMap,
                                  &node.dpushInMap, &node.lpushInMap, &node.rpushInMap, &node.upushOutMap,
                                  &node.dpushOutMap, &node.lpushOutMap, &node.rpushOutMap})
        EXPECT_TRUE(cache->deviceMemory.isNull());
    EXPECT_TRUE(node.spareDeviceMemory.isNull());
}

TEST_F(DeviceSlideTest, TheNodesFailuresPassThroughUntouched) {
    const SceneCase c = {"failure", 0, 0, 0.0f, 1.0f, 0.5f, 0.0f, 0.0f, 1.0f, 10, false};
    ScenePair scene = makeScene(c, 3);
    scene.device->setCurve("curve", CurveData{});
    DeviceSlide slide;
    DeformAttributes record = scene.record;
    AttributeMap map = scene.device->evaluationMap(scene.settings);
    EXPECT_EQ(slide.evaluate(scene.device->node(), map, record), 1);
    const auto shown = testing_support::shownMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_THAT(shown[0], ::testing::MatchesRegex("error: deviceNode: ASSERT error \\(.*\\): curve is NULL"));
    for (size_t k = 0; k < record.points.size(); ++k) EXPECT_EQ(deviation(record.points[k], scene.record.points[k]), 0.0);
    EXPECT_EQ(slide.cacheUploads(), 0);
}

}  // namespace
