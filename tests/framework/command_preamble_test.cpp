// The exported commands' shared preamble: which failure each broken map gives, with the
// exact texts, and help's OUTPUT.

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <regex>

#include "test_support.h"

using namespace testing_support;
using ostrivel::PluginLibrary;

namespace {

class CommandPreamble : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        quietLog();
        node = std::make_unique<ostrivel::DeformerNode>(plugin(), "quelvarn1");
        command = std::string(GetParam()) == "help" ? plugin()->help : plugin()->resetParams;
        map = ostrivel::makeCommandMap("quelvarn1", &node->node(), &getRecord, &runRecord, &deformRecord);
    }
    static std::shared_ptr<KxPtr> pointer(void* value) { return ostrivel::makePointerValue(value); }
    int run() { return command(map); }

    std::unique_ptr<ostrivel::DeformerNode> node;
    PluginLibrary::CommandFunction command = nullptr;
    AttributeMap map;
    GetAttributes getRecord;
    RunAttributes runRecord;
    DeformAttributes deformRecord;
};

// Missing, mistyped and empty records are in the lookup contract table; a null record
// pointer gets past the lookup and is caught by the node's assertion.
TEST_P(CommandPreamble, NullRecordsFailTheirAssertion) {
    const std::regex assertion(R"(error: quelvarn1: ASSERT error \((?:.*/)?deformers/quelvarn_v005/quelvarn\.cpp:[0-9]+\): (.*))");
    const char* records[] = {"GET_ATTRIBUTES_PTR", "RUN_ATTRIBUTES_PTR", "DEFORM_ATTRIBUTES_PTR"};
    const char* texts[] = {"Invalid GetAttributes", "Invalid RunAttributes", "Invalid DeformAttributes"};
    for (int k = 0; k < 3; ++k) {
        SetUp();
        map[records[k]] = pointer(nullptr);
        EXPECT_EQ(run(), 1);
        const auto shown = shownMessages();
        ASSERT_EQ(shown.size(), 1u);
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(shown[0], parts, assertion)) << shown[0];
        EXPECT_EQ(parts[1], texts[k]);
        EXPECT_EQ(map.count("OUTPUT"), 0u);
    }
}

// A null node pointer is never used: it ends like a missing key.
TEST_P(CommandPreamble, NullNodePointerLeavesWithTheMapsOutOfRangeFailure) {
    map["KX_NODE_PTR"] = pointer(nullptr);
    EXPECT_THROW(run(), std::out_of_range);
    EXPECT_TRUE(shownMessages().empty());
    EXPECT_EQ(map.count("OUTPUT"), 0u);
}

TEST_P(CommandPreamble, MessagesTakeTheNameOfTheHostNodeNotOfNodeName) {
    node = std::make_unique<ostrivel::DeformerNode>(plugin(), "");
    map["KX_NODE_PTR"] = pointer(&node->node());
    map["NODE_NAME"] = std::make_shared<KxString>("someOtherName");
    map.erase("GET_ATTRIBUTES_PTR");
    EXPECT_EQ(run(), 1);
    EXPECT_THAT(shownMessages(),
                ::testing::ElementsAre("error: : get attributes: cannot find 'GET_ATTRIBUTES_PTR' (KxPtr) attribute"));
}

INSTANTIATE_TEST_SUITE_P(BothCommands, CommandPreamble, ::testing::Values("help", "resetParams"));

TEST(HelpCommand, StoresTheCommandListUnderOutputCreatingOrReplacingIt) {
    quietLog();
    ostrivel::DeformerNode node(plugin(), "quelvarn1");  // what `ostrivel help` prints: cli.help_command
    DeformAttributes record;
    AttributeMap map;
    map["OUTPUT"] = std::make_shared<KxInt>();  // whatever was there is released
    ASSERT_EQ(node.runCommand(plugin()->help, record, map), 0);
    const auto output = std::dynamic_pointer_cast<KxString>(map["OUTPUT"]);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->value, "Commands: resetParams");
    EXPECT_TRUE(output->values.empty());
    EXPECT_TRUE(output->indices.empty());
    EXPECT_EQ(output.use_count(), 2);  // the map and this pointer: the library kept nothing
    EXPECT_TRUE(shownMessages().empty());
}

}  // namespace
