// The device path's preparation: the same checks as the CPU path, no envelope exit, and
// its own refresh flag over the caches the two paths share.

#include <gmock/gmock.h>

#include "node_fixture.h"

using namespace node_testing;

namespace {

class DevicePrep : public NodeFixture {
protected:
    int prepare(int32_t count) {
        DeviceDeformAttributes device;
        device.pointCount = count;
        return host->prepareDeviceData(settings, device);
    }
};

TEST_F(DevicePrep, ChecksLikeDeformButIgnoresEnvelopeAndStructureOfArrays) {
    bindAt({{0.2f, 0.2f}, {0.4f, 0.4f}, {0.6f, 0.6f}, {0.8f, 0.8f}});
    EXPECT_EQ(prepare(5), 1);
    EXPECT_EQ(assertionMessage(shown().at(0)), "uparams.size() must be = 5");
    EXPECT_TRUE(node().gpuRefreshPending);
    EXPECT_TRUE(node().restFrameInverses.empty());
    testing_support::quietLog();
    EXPECT_EQ(prepare(-2), 1);
    EXPECT_EQ(assertionMessage(shown().at(0)), "uparams.size() must be = -2");

    for (const auto& [shortName, broken] : {std::pair<const char*, CurveData>{"curve", lineCurve()},
                                            std::pair<const char*, CurveData>{"curveBase", lineCurve()}}) {
        CurveData invalid = broken;
        invalid.knots.push_back(1.0f);
        host->setCurve(shortName, invalid);
        testing_support::quietLog();
        EXPECT_EQ(prepare(4), 1);
        EXPECT_EQ(assertionMessage(shown().at(0)), std::string(shortName) + " is invalid");
        host->setCurve(shortName, lineCurve());
    }
    setSurface(orderElevenGeometry());
    testing_support::quietLog();
    EXPECT_EQ(prepare(4), 1);
    EXPECT_EQ(assertionMessage(shown().at(0)), "surface is not supported");
    EXPECT_TRUE(node().gpuRefreshPending);
    setSurface(planeGeometry());

    settings.envelope = 0.0f;
    AttributeMap map = evaluationMap();
    map.erase("SOA_ENABLED");
    DeviceDeformAttributes device;
    device.pointCount = 4;
    EXPECT_EQ(node().prepareDeviceData(map, device), 0);
    EXPECT_FALSE(node().gpuRefreshPending);
    EXPECT_TRUE(node().cpuRefreshPending);
    EXPECT_EQ(node().restFrameInverses.size(), 4u);
    EXPECT_EQ(node().umap.values.size(), 4u);
    for (const MapCache* cache : {&node().pushMap, &node().umap, &node().rpushOutMap}) EXPECT_TRUE(cache->deviceMemory.isNull());
    EXPECT_TRUE(node().spareDeviceMemory.isNull());
}

TEST_F(DevicePrep, RebuildsOnceThenAfterInvalidateOrWhenNotCaching) {
    bindAt({{0.2f, 0.2f}, {0.4f, 0.4f}});
    host->setArray("lmap", {0}, {0.5f});
    ASSERT_EQ(prepare(2), 0);
    EXPECT_EQ(node().lmap.values, (std::vector<float>{0.5f, 1.0f}));
    const Imath::M44d firstFrame = node().restFrameInverses[1];

    host->setArray("lmap", {1}, {0.25f});
    host->setDenseArray("uparams", {0.2f, 0.9f});
    ASSERT_EQ(prepare(2), 0);
    EXPECT_EQ(node().lmap.values, (std::vector<float>{0.5f, 1.0f}));
    EXPECT_EQ(node().restFrameInverses[1], firstFrame);

    node().invalidateDeviceData();
    ASSERT_EQ(prepare(2), 0);
    EXPECT_EQ(node().lmap.values, (std::vector<float>{0.5f, 0.25f}));
    EXPECT_NE(node().restFrameInverses[1], firstFrame);

    // The CPU path finds what the device path rebuilt, under its own flag.
    host->setArray("lmap", {0}, {0.75f});
    settings.cacheAttributes = false;
    ASSERT_EQ(prepare(2), 0);
    EXPECT_EQ(node().lmap.values, (std::vector<float>{0.75f, 0.25f}));
    settings.cacheAttributes = true;
    host->setArray("lmap", {0}, {0.125f});
    ASSERT_EQ(deform(), 0);  // first deform after construction rebuilds regardless
    EXPECT_EQ(node().lmap.values, (std::vector<float>{0.125f, 0.25f}));
}

// The rest frame inverse carries a plane point to local (0, 0, 0), and a point above the
// plane back to itself through the frame.
TEST_F(DevicePrep, RestFramesInvertTheSurfaceFrame) {
    bindAt({{0.25f, 0.5f}});
    ASSERT_EQ(prepare(1), 0);
    const Imath::M44d& inverse = node().restFrameInverses[0];
    Imath::V3d local;
    inverse.multVecMatrix(Imath::V3d(0.5, 1.0, 0.0), local);
    EXPECT_NEAR(local.length(), 0.0, 1e-12);
    // Rows: the chords 0.01 * (2, 0, 0) and 0.01 * (0, 2, 0), the normal, the point; ones in column 3.
    const Imath::M44d frame(0.02, 0, 0, 1, 0, 0.02, 0, 1, 0, 0, 1, 1, 0.5, 1.0, 0, 1);
    EXPECT_TRUE((frame * inverse).equalWithAbsError(Imath::M44d(), 1e-5));
    EXPECT_EQ(inverse[2][2], frame.gjInverse()[2][2]);  // the normal is exactly (0, 0, 1)
}

}  // namespace
