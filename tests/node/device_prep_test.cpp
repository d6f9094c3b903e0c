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
    EXPECT_EQ(failedAssertion(prepare(5)), "uparams.size() must be = 5");
    EXPECT_EQ(failedAssertion(prepare(-2)), "uparams.size() must be = -2");
    setSurface(orderElevenGeometry());
    EXPECT_EQ(failedAssertion(prepare(4)), "surface is not supported");
    EXPECT_TRUE(node().gpuRefreshPending);
    EXPECT_TRUE(node().restFrameInverses.empty());
    setSurface(planeGeometry());

    // Neither the envelope nor "SOA_ENABLED" is read.
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

    const bool cpuPending = node().cpuRefreshPending;
    node().invalidateDeviceData();  // the device path's flag alone
    EXPECT_TRUE(node().gpuRefreshPending);
    EXPECT_EQ(node().cpuRefreshPending, cpuPending);
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

}  // namespace
