// The CPU driver: the order of its checks and their messages, the envelope and enabled
// exits, structure-of-arrays counts, and when the caches are rebuilt.

#include <gmock/gmock.h>

#include <functional>
#include <iterator>
#include <numeric>

#include "node_fixture.h"

using namespace node_testing;
using ::testing::ElementsAre;

namespace {

class DeformDriver : public NodeFixture {};

TEST_F(DeformDriver, EnvelopeBelowThresholdExitsBeforeAnyNodeAttributeIsFetched) {
    for (float envelope : {0.0f, 9.9e-6f, -1.0f}) {
        AttributeMap map = evaluationMap();
        for (auto it = map.begin(); it != map.end();) it = it->first.rfind("quelvarn__", 0) == 0 ? map.erase(it) : std::next(it);
        std::static_pointer_cast<KxFloat>(map["ENVELOPE"])->value = envelope;
        EXPECT_EQ(node().deform(map, record), 0);
        EXPECT_TRUE(node().cpuRefreshPending);
        EXPECT_EQ(node().pointerTable.count("SOA_POINTS"), 1u);  // looked up with insert-on-miss
    }
    EXPECT_TRUE(shown().empty());

    // NaN is not below the threshold: the call goes on to the missing attributes.
    AttributeMap map = evaluationMap();
    map.erase("quelvarn__surface");
    std::static_pointer_cast<KxFloat>(map["ENVELOPE"])->value = std::nanf("");
    EXPECT_EQ(node().deform(map, record), 1);
    EXPECT_THAT(shown(), ElementsAre("error: quelvarn1: get attributes: cannot find 'quelvarn__surface' (KxNurbsSurface) attribute"));
}

// Each key on its own is in the lookup contract table; here two broken keys at once.
TEST_F(DeformDriver, TheFirstBrokenKeyInFetchOrderIsReported) {
    AttributeMap map = evaluationMap();
    map["quelvarn__lr_center"] = nullptr;
    map.erase("quelvarn__rmap");  // later in the order: never reached
    EXPECT_EQ(node().deform(map, record), 1);
    EXPECT_THAT(shown(), ElementsAre("error: quelvarn1: get attributes: invalid type of 'quelvarn__lr_center' (KxFloat expected)"));
    EXPECT_TRUE(node().cpuRefreshPending);
}

// A disabled evaluation still fetches every key, then skips the checks, builds nothing and
// clears the refresh flag.
TEST_F(DeformDriver, DisabledEvaluationFetchesEverythingAndChecksNothing) {
    record.enabled = false;
    AttributeMap map = evaluationMap();
    map.erase("quelvarn__rpushOutMap");
    EXPECT_EQ(node().deform(map, record), 1);
    EXPECT_THAT(shown(), ElementsAre("error: quelvarn1: get attributes: cannot find 'quelvarn__rpushOutMap' (KxFloat) attribute"));
    EXPECT_TRUE(node().cpuRefreshPending);
    testing_support::quietLog();
    host->setSurface("surface", MObject());
    EXPECT_EQ(deform(), 0);
    EXPECT_TRUE(shown().empty());
    EXPECT_FALSE(node().cpuRefreshPending);
    EXPECT_TRUE(node().restFrameInverses.empty());
}

// The checks in their order, each broken on its own, then all of them, the last first: only the
// first failed check is reported (sizes, say, before the surface's support).
TEST_F(DeformDriver, EachAssertionNamesItsCheckAndLeavesTheNodeUntouched) {
    const auto changed = [](void (*change)(CurveData&)) {
        CurveData curve = lineCurve();
        change(curve);
        return curve;
    };
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { host->setSurface("surface", MObject()); }, "surface is NULL"},
        {[&] { host->setSurface("surfaceBase", MObject()); }, "surfaceBase is NULL"},
        {[&] { host->setCurve("curve", CurveData{}); }, "curve is NULL"},
        {[&] { host->setCurve("curveBase", changed([](CurveData& c) { c.knots.clear(); })); }, "curveBase is NULL"},
        {[&] { host->setCurve("curve", changed([](CurveData& c) { c.degree = 8; })); }, "curve is invalid"},
        {[&] { host->setCurve("curveBase", changed([](CurveData& c) { c.knots.pop_back(); })); }, "curveBase is invalid"},
        {[&] { host->setDenseArray("uparams", {0.25f}); }, "uparams.size() must be = 2"},
        {[&] { host->setDenseArray("vparams", {0.5f, 0.5f, 0.5f}); }, "vparams.size() must be = 2"},
        // Orders above the evaluation's fixed scratch are refused, not evaluated.
        {[&] { setSurface(orderElevenGeometry()); }, "surface is not supported"},
    };
    for (const auto& [breakInput, message] : cases) {
        SetUp();
        bindAt({{0.25f, 0.5f}, {0.75f, 0.5f}});
        breakInput();
        const auto before = record.points[0].x;
        EXPECT_EQ(failedAssertion(deform()), message);
        EXPECT_TRUE(node().cpuRefreshPending) << message;
        EXPECT_TRUE(node().restFrameInverses.empty()) << message;
        EXPECT_EQ(record.points[0].x, before) << message;
    }
    SetUp();
    bindAt({{0.25f, 0.5f}, {0.75f, 0.5f}});
    for (auto it = std::rbegin(cases); it != std::rend(cases); ++it) {
        it->first();
        EXPECT_EQ(failedAssertion(deform()), it->second);
    }
}

TEST_F(DeformDriver, StructureOfArraysModeTakesTheCountFromTheFrameworkRecord) {
    settings.soaEnabled = true;
    bindAt({{0.1f, 0.1f}, {0.2f, 0.2f}});
    const auto points = record.points;
    settings.envelope = 0.0f;  // the envelope exit comes before the missing pointer is noticed
    EXPECT_EQ(deform(), 0);
    EXPECT_TRUE(shown().empty());
    settings.envelope = 1.0f;
    EXPECT_EQ(failedAssertion(deform()), "SOA_POINTS is NULL");

    SoaPointsRecord soa;
    soa.pointCount = 5;
    node().pointerTable["SOA_POINTS"] = &soa;
    EXPECT_EQ(failedAssertion(deform()), "uparams.size() must be = 5");

    host->setDenseArray("uparams", std::vector<float>(5, 0.5f));
    host->setDenseArray("vparams", std::vector<float>(5, 0.5f));
    host->setCurve("curve", lineCurve({0.0, 0.3, 0.0}));
    EXPECT_EQ(deform(), 0);
    EXPECT_EQ(node().restFrameInverses.size(), 5u);
    EXPECT_EQ(node().rpushOutMap.values.size(), 5u);
    EXPECT_EQ(record.points[0].x, points[0].x);  // nothing moves in this mode
    EXPECT_EQ(record.points[1].y, points[1].y);

    soa.pointCount = -3;  // reaches no cache: the length check fails first
    EXPECT_EQ(failedAssertion(deform()), "uparams.size() must be = -3");
    EXPECT_EQ(node().restFrameInverses.size(), 5u);
}

TEST_F(DeformDriver, CachesAreKeptWhileCachingAndRebuiltWhenDueOrResized) {
    bindAt({{0.2f, 0.5f}, {0.4f, 0.5f}, {0.6f, 0.5f}});
    host->setArray("umap", {1}, {0.5f});
    ASSERT_EQ(deform(), 0);
    EXPECT_EQ(node().umap.values, (std::vector<float>{1.0f, 0.5f, 1.0f}));
    EXPECT_FALSE(node().cpuRefreshPending);

    host->setArray("umap", {0, 2}, {0.25f, 0.75f});
    ASSERT_EQ(deform(), 0);
    EXPECT_EQ(node().umap.values, (std::vector<float>{1.0f, 0.5f, 1.0f}));  // cached

    settings.cacheAttributes = false;
    ASSERT_EQ(deform(), 0);
    // Entries keep what they held; the map writes only the points it names.
    EXPECT_EQ(node().umap.values, (std::vector<float>{0.25f, 0.5f, 0.75f}));

    // The point count grows after the refresh: the caches are rebuilt rather than overrun.
    settings.cacheAttributes = true;
    bindAt({{0.2f, 0.5f}, {0.4f, 0.5f}, {0.6f, 0.5f}, {0.8f, 0.5f}});
    ASSERT_EQ(deform(), 0);
    EXPECT_EQ(node().restFrameInverses.size(), 4u);
    EXPECT_EQ(node().umap.values, (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));

    // No points at all: both loops are empty and every cache is emptied.
    bindAt({});
    settings.cacheAttributes = false;
    EXPECT_EQ(deform(), 0);
    EXPECT_TRUE(node().restFrameInverses.empty());
    EXPECT_TRUE(node().pushMap.values.empty());
}

// Painted maps reach the caches by index within the point count: a later entry wins, entries
// naming no point are skipped, a map whose indices and values differ in length gives nothing,
// and unpainted points keep the default (1 for slide gains, 0 for pushes). Long maps that name
// their points in order take a route of their own: here with the breaks a painted map can have.
TEST_F(DeformDriver, MapsScatterByIndexWithinThePointCount) {
    settings.cacheAttributes = false;
    const int n = 250;
    std::vector<std::pair<float, float>> params;
    for (int k = 0; k < n; ++k) params.push_back({0.1f + 0.003f * static_cast<float>(k), 0.5f});
    bindAt(params);
    host->setArray("dmap", {0, 1, 2}, {0.5f, 0.25f});
    host->setArray("lmap", {3, 3, -1, n}, {0.1f, 0.2f, 0.3f, 0.4f});
    // Every point named in order, then 40 entries past the point count naming points 0 .. 39
    // again: only the first n entries count.
    std::vector<int32_t> indices(n + 40);
    std::iota(indices.begin(), indices.end(), 0);
    std::iota(indices.begin() + n, indices.end(), 0);
    std::vector<float> ramp(indices.size());
    for (size_t k = 0; k < ramp.size(); ++k) ramp[k] = static_cast<float>(k) / 512.0f;
    host->setArray("umap", indices, ramp);
    // Entries 0 .. 199 name their own points with the values k / 256, but for three breaks.
    std::iota(indices.begin(), indices.end(), 0);
    indices.resize(200);
    std::vector<float> values(200);
    for (size_t k = 0; k < values.size(); ++k) values[k] = static_cast<float>(k) / 256.0f;
    indices[70] = 5;   // later than the entry for point 5: wins, and point 70 keeps its default
    indices[100] = n;  // outside the points: skipped
    indices.push_back(130);  // after the in-order stretch that covers point 130: overwrites it
    values.push_back(0.75f);
    host->setArray("pushMap", indices, values);
    ASSERT_EQ(deform(), 0);
    const std::vector<float>& push = node().pushMap.values;
    ASSERT_EQ(push.size(), static_cast<size_t>(n));
    const std::pair<int, float> expected[] = {{0, 0.0f},   {5, 70.0f / 256.0f},   {64, 64.0f / 256.0f},
                                              {70, 0.0f},  {100, 0.0f},           {128, 128.0f / 256.0f},
                                              {130, 0.75f}, {150, 150.0f / 256.0f}, {199, 199.0f / 256.0f},
                                              {200, 0.0f}};
    for (const auto& [k, value] : expected) EXPECT_EQ(push[static_cast<size_t>(k)], value) << k;
    EXPECT_EQ(node().umap.values, std::vector<float>(ramp.begin(), ramp.begin() + n));
    std::vector<float> lmap(n, 1.0f);
    lmap[3] = 0.2f;
    EXPECT_EQ(node().lmap.values, lmap);
    EXPECT_EQ(node().dmap.values, std::vector<float>(n, 1.0f));
    EXPECT_EQ(node().upushInMap.values, std::vector<float>(n, 0.0f));
    EXPECT_TRUE(shown().empty());
}

}  // namespace
