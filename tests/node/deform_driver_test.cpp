// The CPU driver: the order of its checks and their messages, the envelope and enabled
// exits, structure-of-arrays counts, and when the caches are rebuilt.

#include <gmock/gmock.h>

#include <regex>

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

// Each key on its own is in the lookup contract table; here two broken keys, and a
// disabled evaluation, which still fetches everything.
TEST_F(DeformDriver, TheFirstBrokenKeyInFetchOrderIsReported) {
    AttributeMap map = evaluationMap();
    map["quelvarn__lr_center"] = nullptr;
    map.erase("quelvarn__rmap");  // later in the order: never reached
    EXPECT_EQ(node().deform(map, record), 1);
    map = evaluationMap();
    record.enabled = false;
    map.erase("quelvarn__rpushOutMap");
    EXPECT_EQ(node().deform(map, record), 1);
    EXPECT_THAT(shown(), ElementsAre("error: quelvarn1: get attributes: invalid type of 'quelvarn__lr_center' (KxFloat expected)",
                                     "error: quelvarn1: get attributes: cannot find 'quelvarn__rpushOutMap' (KxFloat) attribute"));
    EXPECT_TRUE(node().cpuRefreshPending);
}

TEST_F(DeformDriver, EachAssertionNamesItsCheckAndLeavesTheNodeUntouched) {
    bindAt({{0.25f, 0.5f}, {0.75f, 0.5f}});
    const auto expectAssertion = [&](const std::string& message) {
        testing_support::quietLog();
        const auto before = record.points[0].x;
        EXPECT_EQ(deform(), 1) << message;
        const auto lines = shown();
        ASSERT_EQ(lines.size(), 1u) << message;
        EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(error: quelvarn1: ASSERT error \((?:.*/)?quelvarn\.cpp:\d+\): .*)")))
            << lines[0];
        EXPECT_EQ(assertionMessage(lines[0]), message);
        EXPECT_TRUE(node().cpuRefreshPending);
        EXPECT_TRUE(node().restFrameInverses.empty());
        EXPECT_EQ(record.points[0].x, before);
    };
    host->setSurface("surface", MObject());
    expectAssertion("surface is NULL");
    setSurface(planeGeometry());
    host->setSurface("surfaceBase", MObject());
    expectAssertion("surfaceBase is NULL");
    setSurface(planeGeometry());
    host->setCurve("curve", CurveData{});
    expectAssertion("curve is NULL");
    host->setCurve("curve", lineCurve());
    CurveData noKnots = lineCurve();
    noKnots.knots.clear();
    host->setCurve("curveBase", noKnots);
    expectAssertion("curveBase is NULL");
    CurveData tooFewKnots = lineCurve();
    tooFewKnots.knots.pop_back();
    host->setCurve("curveBase", tooFewKnots);
    expectAssertion("curveBase is invalid");
    CurveData degreeEight = lineCurve();
    degreeEight.degree = 8;
    host->setCurve("curve", degreeEight);
    expectAssertion("curve is invalid");
    host->setCurve("curve", lineCurve());
    host->setCurve("curveBase", lineCurve());
    host->setDenseArray("uparams", {0.25f});
    expectAssertion("uparams.size() must be = 2");
    host->setDenseArray("uparams", {0.25f, 0.75f});
    host->setDenseArray("vparams", {0.5f, 0.5f, 0.5f});
    expectAssertion("vparams.size() must be = 2");
    host->setDenseArray("vparams", {0.5f, 0.5f});
    // Orders above the evaluation's fixed scratch are refused, not evaluated.
    setSurface(orderElevenGeometry());
    expectAssertion("surface is not supported");
}

TEST_F(DeformDriver, OnlyTheFirstFailedCheckIsReported) {
    bindAt({{0.25f, 0.5f}});
    host->setSurface("surface", MObject());
    host->setCurve("curve", CurveData{});
    host->setDenseArray("uparams", {});
    EXPECT_EQ(deform(), 1);
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(assertionMessage(shown()[0]), "surface is NULL");

    // Sizes come before the surface's support: two host knots in u are refused only after them.
    testing_support::quietLog();
    hostapi::NurbsSurfaceGeometry twoKnots = planeGeometry();
    twoKnots.cvCountU = 2;
    twoKnots.knotsU = {0.0, 1.0};
    twoKnots.cvs.resize(6);
    setSurface(twoKnots);
    host->setCurve("curve", lineCurve());
    EXPECT_EQ(deform(), 1);
    EXPECT_EQ(assertionMessage(shown().at(0)), "uparams.size() must be = 1");
    host->setDenseArray("uparams", {0.25f});
    EXPECT_EQ(deform(), 1);
    EXPECT_EQ(assertionMessage(shown().at(1)), "surface is not supported");
}

TEST_F(DeformDriver, DisabledEvaluationSkipsTheChecksAndClearsTheRefreshFlag) {
    host->setSurface("surface", MObject());
    record.enabled = false;
    EXPECT_EQ(deform(), 0);
    EXPECT_TRUE(shown().empty());
    EXPECT_FALSE(node().cpuRefreshPending);
    // The caches were never built: a later cached evaluation still builds them.
    record.enabled = true;
    setSurface(planeGeometry());
    bindAt({{0.5f, 0.5f}});
    EXPECT_EQ(deform(), 0);
    EXPECT_EQ(node().restFrameInverses.size(), 1u);
    EXPECT_EQ(node().umap.values.size(), 1u);
}

TEST_F(DeformDriver, StructureOfArraysModeTakesTheCountFromTheFrameworkRecord) {
    settings.soaEnabled = true;
    bindAt({{0.1f, 0.1f}, {0.2f, 0.2f}});
    const auto points = record.points;
    settings.envelope = 0.0f;  // the envelope exit comes before the missing pointer is noticed
    EXPECT_EQ(deform(), 0);
    EXPECT_TRUE(shown().empty());
    settings.envelope = 1.0f;
    EXPECT_EQ(deform(), 1);  // no SOA_POINTS pointer yet
    EXPECT_EQ(assertionMessage(shown().at(0)), "SOA_POINTS is NULL");

    SoaPointsRecord soa;
    soa.pointCount = 5;
    node().pointerTable["SOA_POINTS"] = &soa;
    testing_support::quietLog();
    EXPECT_EQ(deform(), 1);
    EXPECT_EQ(assertionMessage(shown().at(0)), "uparams.size() must be = 5");

    host->setDenseArray("uparams", std::vector<float>(5, 0.5f));
    host->setDenseArray("vparams", std::vector<float>(5, 0.5f));
    host->setCurve("curve", lineCurve({0.0, 0.3, 0.0}));
    EXPECT_EQ(deform(), 0);
    EXPECT_EQ(node().restFrameInverses.size(), 5u);
    EXPECT_EQ(node().rpushOutMap.values.size(), 5u);
    EXPECT_EQ(record.points[0].x, points[0].x);  // nothing moves in this mode
    EXPECT_EQ(record.points[1].y, points[1].y);

    soa.pointCount = -3;  // reaches no cache: the length check fails first
    testing_support::quietLog();
    EXPECT_EQ(deform(), 1);
    EXPECT_EQ(assertionMessage(shown().at(0)), "uparams.size() must be = -3");
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

TEST_F(DeformDriver, ScatterMapCopiesOnlyMatchingArraysWithinTheCount) {
    settings.cacheAttributes = false;
    bindAt({{0.1f, 0.1f}, {0.2f, 0.2f}, {0.3f, 0.3f}, {0.4f, 0.4f}});
    host->setArray("umap", {2, 0}, {0.5f, 0.25f});
    host->setArray("dmap", {0, 1, 2}, {0.5f, 0.25f});          // lengths differ: nothing copied
    host->setArray("lmap", {3, 3, -1, 7}, {0.1f, 0.2f, 0.3f, 0.4f});  // later wins; outside [0, 4) skipped
    host->setArray("pushMap", {0, 1, 2, 3, 0}, {0.1f, 0.2f, 0.3f, 0.4f, 0.9f});  // only the first 4 entries
    ASSERT_EQ(deform(), 0);
    EXPECT_EQ(node().umap.values, (std::vector<float>{0.25f, 1.0f, 0.5f, 1.0f}));
    EXPECT_EQ(node().dmap.values, (std::vector<float>{1.0f, 1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(node().lmap.values, (std::vector<float>{1.0f, 1.0f, 1.0f, 0.2f}));
    EXPECT_EQ(node().pushMap.values, (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
    EXPECT_EQ(node().upushInMap.values, (std::vector<float>{0.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_TRUE(shown().empty());
}

// Long maps that name their points in order, with the breaks a painted map can have: a later
// entry for an earlier point, an index outside the points inside an in-order stretch, and a
// stretch cut off by the point count.
TEST_F(DeformDriver, LongInOrderMapsKeepTheLaterEntryAndTheCount) {
    settings.cacheAttributes = false;
    const int n = 250;
    std::vector<std::pair<float, float>> params;
    for (int k = 0; k < n; ++k) params.push_back({0.1f + 0.003f * static_cast<float>(k), 0.5f});
    bindAt(params);
    // Entries 0 .. 199 name their own points with distinct values, but for two breaks in the
    // second stretch of 64.
    std::vector<int32_t> indices;
    std::vector<float> values;
    for (int k = 0; k < 200; ++k) {
        indices.push_back(k);
        values.push_back(static_cast<float>(k) / 256.0f);
    }
    indices[70] = 5;   // later than the entry for point 5: wins, and point 70 keeps its default
    indices[100] = n;  // outside the points: skipped
    indices.push_back(130);  // after the in-order stretch that covers point 130: overwrites it
    values.push_back(0.75f);
    host->setArray("pushMap", indices, values);
    // Every point named in order, but more entries than points: only the first n count.
    std::vector<int32_t> all;
    std::vector<float> ramp;
    for (int k = 0; k < n + 40; ++k) {
        all.push_back(k);
        ramp.push_back(static_cast<float>(k) / 512.0f);
    }
    host->setArray("umap", all, ramp);
    ASSERT_EQ(deform(), 0);
    const std::vector<float>& push = node().pushMap.values;
    ASSERT_EQ(push.size(), static_cast<size_t>(n));
    EXPECT_EQ(push[0], 0.0f);
    EXPECT_EQ(push[5], 70.0f / 256.0f);
    EXPECT_EQ(push[64], 64.0f / 256.0f);
    EXPECT_EQ(push[70], 0.0f);
    EXPECT_EQ(push[100], 0.0f);
    EXPECT_EQ(push[128], 128.0f / 256.0f);
    EXPECT_EQ(push[130], 0.75f);
    EXPECT_EQ(push[150], 150.0f / 256.0f);
    EXPECT_EQ(push[199], 199.0f / 256.0f);
    EXPECT_EQ(push[200], 0.0f);
    EXPECT_EQ(node().umap.values, std::vector<float>(ramp.begin(), ramp.begin() + n));
    EXPECT_TRUE(shown().empty());
}

}  // namespace
