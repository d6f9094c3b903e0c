// The node's attribute declarations: appended after what the vector already holds.

#include <gtest/gtest.h>

#include "quelvarn.h"
#include "test_support.h"

using namespace testing_support;

namespace {

TEST(Declarations, AppendAfterWhatTheVectorHolds) {
    std::unique_ptr<KxNode> node(plugin()->create());
    std::vector<AttributeSpec> specs;
    specs.emplace_back("mine", "framework__mine", kAttributeFloat, true);
    specs.emplace_back("other", "framework__other", kAttributeEnum, false);
    node->declareAttributes(specs);
    ASSERT_EQ(specs.size(), 29u);
    EXPECT_EQ(specs[0].longName, "framework__mine");
    EXPECT_TRUE(specs[0].constructorFlag);
    EXPECT_EQ(specs[1].shortName, "other");
    EXPECT_EQ(specs[2].longName, "quelvarn__surface");
    EXPECT_EQ(specs[28].longName, "quelvarn__rpushOutMap");

    // What the table cannot show: the unused companions and fields are clear everywhere.
    for (size_t k = 2; k < specs.size(); ++k) {
        const AttributeSpec& spec = specs[k];
        EXPECT_FALSE(spec.constructorFlag) << spec.shortName;
        EXPECT_FALSE(spec.extraFlag) << spec.shortName;
        EXPECT_TRUE(spec.extraText.empty()) << spec.shortName;
        EXPECT_TRUE(spec.children.empty()) << spec.shortName;
        for (int c = 1; c < 4; ++c) {
            EXPECT_EQ(spec.defaultValue[c], 0.0);
            EXPECT_EQ(spec.minValue[c], 0.0);
            EXPECT_EQ(spec.maxValue[c], 0.0);
        }
    }
}

}  // namespace
