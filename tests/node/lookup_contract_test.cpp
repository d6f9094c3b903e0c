// The lookup contract, key by key: every key that deform, prepareDeviceData, help and
// resetParams read is removed, given a value of the wrong class and given an empty owner;
// each case checks the exact outcome and that points, caches and refresh flags stay put.

#include <gmock/gmock.h>

#include <cstring>
#include <stdexcept>

#include "node_fixture.h"

using namespace node_testing;
using ::testing::ElementsAre;

namespace {

enum class Breakage { Removed, WrongClass, EmptyOwner };
constexpr Breakage kBreakages[] = {Breakage::Removed, Breakage::WrongClass, Breakage::EmptyOwner};

const char* nameOf(Breakage breakage) {
    static const char* const names[] = {"removed", "wrong class", "empty owner"};
    return names[static_cast<int>(breakage)];
}

void breakKey(AttributeMap& map, const std::string& key, const std::string& className, Breakage breakage) {
    if (breakage == Breakage::Removed) map.erase(key);
    if (breakage == Breakage::EmptyOwner) map[key] = nullptr;
    if (breakage == Breakage::WrongClass)  // a value of another class than `className` expects
        map[key] = className == "KxFloat" ? std::shared_ptr<KxData>(std::make_shared<KxInt>()) : std::make_shared<KxFloat>();
}

std::string lookupMessage(const std::string& key, const std::string& className, Breakage breakage) {
    return breakage == Breakage::Removed
               ? "error: quelvarn1: get attributes: cannot find '" + key + "' (" + className + ") attribute"
               : "error: quelvarn1: get attributes: invalid type of '" + key + "' (" + className + " expected)";
}

// Every key of an evaluation, in fetch order, with the class its lookup names.
using Key = std::pair<std::string, std::string>;
std::vector<Key> evaluationKeys(bool withSoa) {
    std::vector<Key> keys = {{"DEBUG_MODE", "KxInt"}, {"CACHE_ATTRIBUTES", "KxBoolean"}, {"ENVELOPE", "KxFloat"}};
    if (withSoa) keys.push_back({"SOA_ENABLED", "KxBoolean"});
    const std::pair<const char*, const char*> node[] = {
        {"surface", "KxNurbsSurface"}, {"surfaceBase", "KxNurbsSurface"}, {"slidingMethod", "KxInt"},
        {"uparams", "KxFloat"},        {"vparams", "KxFloat"},            {"paramType", "KxInt"},
        {"startParam", "KxFloat"},     {"endParam", "KxFloat"},           {"push_coeff", "KxFloat"},
        {"ud_factor", "KxFloat"},      {"lr_factor", "KxFloat"},          {"lr_center", "KxFloat"},
        {"pushMap", "KxFloat"},        {"curve", "KxNurbsCurve"},         {"curveBase", "KxNurbsCurve"},
        {"umap", "KxFloat"},           {"upushInMap", "KxFloat"},         {"upushOutMap", "KxFloat"},
        {"dmap", "KxFloat"},           {"dpushInMap", "KxFloat"},         {"dpushOutMap", "KxFloat"},
        {"lmap", "KxFloat"},           {"lpushInMap", "KxFloat"},         {"lpushOutMap", "KxFloat"},
        {"rmap", "KxFloat"},           {"rpushInMap", "KxFloat"},         {"rpushOutMap", "KxFloat"}};
    for (const auto& [name, className] : node) keys.push_back({std::string("quelvarn__") + name, className});
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
        EXPECT_EQ(std::memcmp(record.points.data(), before.data(), before.size() * sizeof(KxPoint)), 0);
    }

    std::vector<KxPoint> before;
};

TEST_F(LookupContract, EveryEvaluationKeyMissingMistypedOrEmptyFailsWithItsMessage) {
    for (bool device : {false, true}) {
        for (const auto& [key, className] : evaluationKeys(!device)) {
            for (Breakage breakage : kBreakages) {
                const std::string where = (device ? "prepareDeviceData " : "deform ") + key + " " + nameOf(breakage);
                testing_support::quietLog();
                AttributeMap map = evaluationMap();
                breakKey(map, key, className, breakage);
                DeviceDeformAttributes deviceRecord;
                deviceRecord.pointCount = static_cast<int32_t>(record.points.size());
                const int status = device ? node().prepareDeviceData(map, deviceRecord) : node().deform(map, record);
                EXPECT_EQ(status, 1) << where;
                EXPECT_THAT(shown(), ElementsAre(lookupMessage(key, className, breakage))) << where;
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

// What one broken command map leads to: the status or the out-of-range failure, then the
// lines shown.
struct CommandCase {
    std::string key;
    Breakage breakage;
    std::string outcome;
};
const char* const kThrows = "throws invalid map<K, T> key";

std::vector<CommandCase> commandCases() {
    // The three preamble keys go through the map's checked lookup. A mistyped or empty HELP is
    // converted and discarded; NODE_NAME is never used through a failed cast.
    std::vector<CommandCase> cases = {
        {"HELP", Breakage::Removed, kThrows},           {"HELP", Breakage::WrongClass, "0"},
        {"HELP", Breakage::EmptyOwner, "0"},            {"NODE_NAME", Breakage::Removed, kThrows},
        {"NODE_NAME", Breakage::WrongClass, kThrows},   {"NODE_NAME", Breakage::EmptyOwner, kThrows},
        {"KX_NODE_PTR", Breakage::Removed, kThrows},    {"KX_NODE_PTR", Breakage::WrongClass, kThrows},
        {"KX_NODE_PTR", Breakage::EmptyOwner, kThrows},
    };
    for (const char* record : {"GET_ATTRIBUTES_PTR", "RUN_ATTRIBUTES_PTR", "DEFORM_ATTRIBUTES_PTR"}) {
        for (Breakage breakage : kBreakages) cases.push_back({record, breakage, "1\n" + lookupMessage(record, "KxPtr", breakage)});
    }
    return cases;
}

TEST_F(CommandContract, PreambleKeysRecordsAndOutput) {
    for (const bool help : {true, false}) {
        const auto run = help ? host->library().help : host->library().resetParams;
        for (const CommandCase& c : commandCases()) {
            const std::string where = std::string(help ? "help " : "resetParams ") + c.key + " " + nameOf(c.breakage);
            testing_support::quietLog();
            AttributeMap map = commandMap();
            breakKey(map, c.key, "KxPtr", c.breakage);
            std::string outcome;
            try {
                outcome = std::to_string(run(map));
            } catch (const std::out_of_range& failure) {
                outcome = std::string("throws ") + failure.what();
            }
            for (const std::string& line : shown()) outcome += "\n" + line;
            const bool through = c.outcome == "0";
            EXPECT_EQ(outcome, through && !help ? "0\ninfo: U/V params have been reset" : c.outcome) << where;
            EXPECT_EQ(map.count("OUTPUT"), through && help ? 1u : 0u) << where;  // only a help that got through
            if (!through) {
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
