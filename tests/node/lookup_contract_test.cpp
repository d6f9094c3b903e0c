// The lookup contract, key by key: every key that deform, prepareDeviceData, help and
// resetParams read is removed, given a value of the wrong class and given an empty owner;
// each case checks the exact outcome and that points, caches and refresh flags stay put.

#include <gmock/gmock.h>

#include <stdexcept>

#include "node_fixture.h"

using namespace node_testing;
using ::testing::ElementsAre;

namespace {

enum class Breakage { Removed, WrongClass, EmptyOwner };
constexpr Breakage kBreakages[] = {Breakage::Removed, Breakage::WrongClass, Breakage::EmptyOwner};

const char* nameOf(Breakage breakage) {
    switch (breakage) {
        case Breakage::Removed: return "removed";
        case Breakage::WrongClass: return "wrong class";
        case Breakage::EmptyOwner: return "empty owner";
    }
    return "";
}

// A value of another class than `className` expects.
std::shared_ptr<KxData> wrongClassFor(const std::string& className) {
    if (className == "KxFloat") return std::make_shared<KxInt>();
    return std::make_shared<KxFloat>();
}

void breakKey(AttributeMap& map, const std::string& key, const std::string& className, Breakage breakage) {
    switch (breakage) {
        case Breakage::Removed: map.erase(key); break;
        case Breakage::WrongClass: map[key] = wrongClassFor(className); break;
        case Breakage::EmptyOwner: map[key] = nullptr; break;
    }
}

std::string lookupMessage(const std::string& key, const std::string& className, Breakage breakage) {
    return breakage == Breakage::Removed
               ? "error: quelvarn1: get attributes: cannot find '" + key + "' (" + className + ") attribute"
               : "error: quelvarn1: get attributes: invalid type of '" + key + "' (" + className + " expected)";
}

struct Key {
    std::string name;
    std::string className;
};

// Every key of an evaluation, in fetch order, with the class its lookup names.
std::vector<Key> evaluationKeys(bool withSoa) {
    std::vector<Key> keys = {{"DEBUG_MODE", "KxInt"}, {"CACHE_ATTRIBUTES", "KxBoolean"}, {"ENVELOPE", "KxFloat"}};
    if (withSoa) keys.push_back({"SOA_ENABLED", "KxBoolean"});
    const std::vector<Key> node = {
        {"quelvarn__surface", "KxNurbsSurface"}, {"quelvarn__surfaceBase", "KxNurbsSurface"},
        {"quelvarn__slidingMethod", "KxInt"},    {"quelvarn__uparams", "KxFloat"},
        {"quelvarn__vparams", "KxFloat"},        {"quelvarn__paramType", "KxInt"},
        {"quelvarn__startParam", "KxFloat"},     {"quelvarn__endParam", "KxFloat"},
        {"quelvarn__push_coeff", "KxFloat"},     {"quelvarn__ud_factor", "KxFloat"},
        {"quelvarn__lr_factor", "KxFloat"},      {"quelvarn__lr_center", "KxFloat"},
        {"quelvarn__pushMap", "KxFloat"},        {"quelvarn__curve", "KxNurbsCurve"},
        {"quelvarn__curveBase", "KxNurbsCurve"}, {"quelvarn__umap", "KxFloat"},
        {"quelvarn__upushInMap", "KxFloat"},     {"quelvarn__upushOutMap", "KxFloat"},
        {"quelvarn__dmap", "KxFloat"},           {"quelvarn__dpushInMap", "KxFloat"},
        {"quelvarn__dpushOutMap", "KxFloat"},    {"quelvarn__lmap", "KxFloat"},
        {"quelvarn__lpushInMap", "KxFloat"},     {"quelvarn__lpushOutMap", "KxFloat"},
        {"quelvarn__rmap", "KxFloat"},           {"quelvarn__rpushInMap", "KxFloat"},
        {"quelvarn__rpushOutMap", "KxFloat"}};
    keys.insert(keys.end(), node.begin(), node.end());
    return keys;
}

class LookupContract : public NodeFixture {
protected:
    void SetUp() override {
        NodeFixture::SetUp();
        bindAt({{0.25f, 0.5f}, {0.75f, 0.5f}});
        host->setCurve("curve", lineCurve({0.0, 0.1, 0.0}));
        host->setNumber("ud_factor", 0.5);  // every point would slide along u
        before = record.points;
    }

    // Nothing the failed call could have touched has changed on this fresh node.
    void expectUntouched(const std::string& where) {
        SCOPED_TRACE(where);
        EXPECT_TRUE(node().cpuRefreshPending);
        EXPECT_TRUE(node().gpuRefreshPending);
        EXPECT_TRUE(node().restFrameInverses.empty());
        EXPECT_TRUE(node().umap.values.empty());
        EXPECT_TRUE(node().pushMap.values.empty());
        EXPECT_TRUE(node().surfaceData.cvs.empty());
        ASSERT_EQ(record.points.size(), before.size());
        for (size_t k = 0; k < before.size(); ++k) {
            EXPECT_EQ(record.points[k].x, before[k].x);
            EXPECT_EQ(record.points[k].y, before[k].y);
        }
    }

    std::vector<KxPoint> before;
};

TEST_F(LookupContract, EveryEvaluationKeyMissingMistypedOrEmptyFailsWithItsMessage) {
    for (bool device : {false, true}) {
        for (const Key& key : evaluationKeys(!device)) {
            for (Breakage breakage : kBreakages) {
                const std::string where = std::string(device ? "prepareDeviceData " : "deform ") + key.name + " " +
                                          nameOf(breakage);
                testing_support::quietLog();
                AttributeMap map = evaluationMap();
                breakKey(map, key.name, key.className, breakage);
                DeviceDeformAttributes deviceRecord;
                deviceRecord.pointCount = static_cast<int32_t>(record.points.size());
                const int status = device ? node().prepareDeviceData(map, deviceRecord) : node().deform(map, record);
                EXPECT_EQ(status, 1) << where;
                EXPECT_THAT(shown(), ElementsAre(lookupMessage(key.name, key.className, breakage))) << where;
                expectUntouched(where);
            }
        }
    }
    // The complete map goes through, so each case above failed on its own key.
    AttributeMap map = evaluationMap();
    EXPECT_EQ(node().deform(map, record), 0);
    EXPECT_FALSE(node().cpuRefreshPending);
    EXPECT_NE(record.points[0].x, before[0].x);
}

TEST_F(LookupContract, PrepareDeviceDataDoesNotReadSoaEnabled) {
    for (Breakage breakage : kBreakages) {
        AttributeMap map = evaluationMap();
        breakKey(map, "SOA_ENABLED", "KxBoolean", breakage);
        DeviceDeformAttributes deviceRecord;
        deviceRecord.pointCount = 2;
        EXPECT_EQ(node().prepareDeviceData(map, deviceRecord), 0) << nameOf(breakage);
    }
    EXPECT_TRUE(shown().empty());
}

class CommandContract : public LookupContract {
protected:
    AttributeMap commandMap() {
        return ostrivel::makeCommandMap("quelvarn1", &node(), &getRecord, &runRecord, &record);
    }
    void SetUp() override {
        LookupContract::SetUp();
        runRecord = host->runAttributes();
    }
    GetAttributes getRecord;
    RunAttributes runRecord;
};

// What one broken command map leads to: an out-of-range failure, a shown line and 1, or 0.
struct CommandCase {
    std::string key;
    Breakage breakage;
    std::string outcome;  // "throws", "0", or the one line shown with status 1
};

std::vector<CommandCase> commandCases() {
    std::vector<CommandCase> cases = {
        // The three preamble keys go through the map's checked lookup.
        {"HELP", Breakage::Removed, "throws"},
        {"HELP", Breakage::WrongClass, "0"},  // converted and discarded
        {"HELP", Breakage::EmptyOwner, "0"},
        {"NODE_NAME", Breakage::Removed, "throws"},
        {"NODE_NAME", Breakage::WrongClass, "throws"},  // never used through a failed cast
        {"NODE_NAME", Breakage::EmptyOwner, "throws"},
        {"KX_NODE_PTR", Breakage::Removed, "throws"},
        {"KX_NODE_PTR", Breakage::WrongClass, "throws"},
        {"KX_NODE_PTR", Breakage::EmptyOwner, "throws"},
    };
    for (const char* record : {"GET_ATTRIBUTES_PTR", "RUN_ATTRIBUTES_PTR", "DEFORM_ATTRIBUTES_PTR"}) {
        for (Breakage breakage : kBreakages) cases.push_back({record, breakage, lookupMessage(record, "KxPtr", breakage)});
    }
    return cases;
}

TEST_F(CommandContract, PreambleKeysRecordsAndOutput) {
    for (const char* command : {"help", "resetParams"}) {
        const auto run = std::string(command) == "help" ? host->library().help : host->library().resetParams;
        for (const CommandCase& c : commandCases()) {
            const std::string where = std::string(command) + " " + c.key + " " + nameOf(c.breakage);
            testing_support::quietLog();
            AttributeMap map = commandMap();
            breakKey(map, c.key, "KxPtr", c.breakage);
            if (c.outcome == "throws") {
                try {
                    run(map);
                    ADD_FAILURE() << where << ": no out-of-range failure";
                } catch (const std::out_of_range& failure) {
                    EXPECT_STREQ(failure.what(), "invalid map<K, T> key") << where;
                }
                EXPECT_TRUE(shown().empty()) << where;
            } else if (c.outcome == "0") {
                EXPECT_EQ(run(map), 0) << where;
            } else {
                EXPECT_EQ(run(map), 1) << where;
                EXPECT_THAT(shown(), ElementsAre(c.outcome)) << where;
            }
            // OUTPUT is written only by a help that got through.
            const bool wrote = map.count("OUTPUT") == 1;
            EXPECT_EQ(wrote, c.outcome == "0" && std::string(command) == "help") << where;
            if (c.outcome != "0") {
                EXPECT_THAT(host->plugValue("uparams").values, ElementsAre(0.25f, 0.75f)) << where;
            }
            expectUntouched(where);
        }
    }
}

TEST_F(CommandContract, ResetParamsSurfaceLookupAndMissingPlugs) {
    for (Breakage breakage : kBreakages) {
        testing_support::quietLog();
        breakKey(runRecord, "quelvarn__surface", "KxNurbsSurface", breakage);
        AttributeMap map = commandMap();
        EXPECT_EQ(host->library().resetParams(map), 1);
        EXPECT_THAT(shown(), ElementsAre(lookupMessage("quelvarn__surface", "KxNurbsSurface", breakage)));
        EXPECT_THAT(host->plugValue("uparams").values, ElementsAre(0.25f, 0.75f));  // plugs untouched
        runRecord = host->runAttributes();
    }
    // A node without the two plugs: nothing to write, no message of the command's own.
    hostapi::DependencyNode* dependencyNode = hostapi::asDependencyNode(host->hostNode());
    for (hostapi::Plug& plug : dependencyNode->plugs) {
        if (plug.shortName == "uparams" || plug.shortName == "vparams") plug.shortName = plug.longName = "renamed";
    }
    testing_support::quietLog();
    AttributeMap map = commandMap();
    EXPECT_EQ(host->library().resetParams(map), 0);
    EXPECT_THAT(shown(), ElementsAre("info: U/V params have been reset"));
    expectUntouched("resetParams without plugs");
}

}  // namespace
