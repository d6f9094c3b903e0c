// Binding: resetParams stores each point's closest-point parameters, normalised to the
// knot domain, in the host node's plugs, and later evaluations read them back.

#include <gmock/gmock.h>

#include "node_fixture.h"

using namespace node_testing;
using ::testing::ElementsAre;

namespace {

class ResetParams : public NodeFixture {
protected:
    int bind() {
        AttributeMap commandMap;
        return host->runCommand(host->library().resetParams, record, commandMap);
    }
    const hostapi::PlugValue& plug(const char* name) { return host->plugValue(name); }
};

TEST_F(ResetParams, StoresClampedNormalisedParametersAsFloatElements) {
    // Domain [0, 4] in both directions: x = 2 * param on a plane twice as large.
    setSurface(planeGeometry({0.0, 2.0, 4.0}, 1.0));
    record.points = {{2.0, 1.0, 0.3}, {4.0, 4.0 / 3.0, -1.0}, {5.0, -1.0, 0.0}};
    EXPECT_EQ(bind(), 0);
    EXPECT_THAT(shown(), ElementsAre("info: U/V params have been reset"));
    EXPECT_THAT(plug("uparams").indices, ElementsAre(0, 1, 2));
    EXPECT_THAT(plug("uparams").values, ElementsAre(0.5f, 1.0f, 1.0f));  // on the edge, beyond it
    EXPECT_THAT(plug("vparams").values, ElementsAre(0.25f, static_cast<float>(1.0 / 3.0), 0.0f));  // nearest float

    // Later evaluations receive the stored values.
    const auto stored = std::dynamic_pointer_cast<KxFloat>(host->runAttributes().at("quelvarn__uparams"));
    EXPECT_THAT(stored->values, ElementsAre(0.5f, 1.0f, 1.0f));
}

TEST_F(ResetParams, WritesOnlyThePointsElementsAndNeverRemovesOthers) {
    host->setDenseArray("uparams", {0.9f, 0.9f, 0.9f});
    record.points = {{1.0, 1.0, 0.0}};
    EXPECT_EQ(bind(), 0);
    EXPECT_THAT(plug("uparams").values, ElementsAre(0.5f, 0.9f, 0.9f));

    record.points.clear();
    testing_support::quietLog();
    EXPECT_EQ(bind(), 0);
    EXPECT_THAT(plug("uparams").values, ElementsAre(0.5f, 0.9f, 0.9f));
    EXPECT_TRUE(plug("vparams").values.size() == 1u);
    EXPECT_THAT(shown(), ElementsAre("info: U/V params have been reset"));
}

TEST_F(ResetParams, DomainsNotStartingAtZeroBindToTheirClosestPoints) {
    // Domain [1, 3]: the stored value s = (p - 1) / 3 maps back as s * 3 + 1 = p.
    setSurface(planeGeometry({1.0, 2.0, 3.0}, 1.0));
    record.points = {{1.5, 2.5, 0.2}, {3.0, 1.0, 0.0}};
    ASSERT_EQ(bind(), 0);
    const auto& us = plug("uparams").values;
    const auto& vs = plug("vparams").values;
    EXPECT_FLOAT_EQ(us[0] * 3.0f + 1.0f, 1.5f);
    EXPECT_FLOAT_EQ(vs[0] * 3.0f + 1.0f, 2.5f);
    EXPECT_FLOAT_EQ(us[1] * 3.0f + 1.0f, 3.0f);
    EXPECT_FLOAT_EQ(vs[1], 0.0f);

    // A domain reaching below 0, [-1, 1]: s = p + 1 is clamped to [0, 1], so parameters
    // above 0 are stored as 1 and evaluate at s * 1 - 1 = 0.
    setSurface(planeGeometry({-1.0, 0.0, 1.0}, 1.0));
    record.points = {{-0.5, 0.5, 0.0}};
    ASSERT_EQ(bind(), 0);
    EXPECT_FLOAT_EQ(plug("uparams").values[0], 0.5f);
    EXPECT_FLOAT_EQ(plug("vparams").values[0], 1.0f);
}

}  // namespace
