// Writing an array plug through the host's data handles, as binding does: elements come
// back in index order, a later write to an index wins, unwritten elements stay, and indices
// far beyond the others are kept without growing a table to them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <maya/MArrayDataBuilder.h>
#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MPlug.h>

#include <hostapi/objects.h>

#include <utility>
#include <vector>

using ::testing::ElementsAreArray;

namespace {

struct Write {
    unsigned int index;
    float value;
};

void writeElements(MPlug plug, const std::vector<Write>& writes) {
    MDataHandle data = plug.asMDataHandle();
    MArrayDataHandle array(data);
    MArrayDataBuilder builder = array.builder();
    for (const Write& w : writes) builder.addElement(w.index).setFloat(w.value);
    array.set(builder);
    plug.setMDataHandle(data);
    plug.destructHandle(data);
}

}  // namespace

TEST(ArrayPlug, ElementsComeBackInIndexOrderWithTheLaterWriteWinning) {
    const struct {
        const char* name;
        std::vector<int32_t> startIndices;
        std::vector<float> startValues;
        std::vector<Write> writes;
        std::vector<int32_t> indices;
        std::vector<float> values;
    } cases[] = {
        {"out of order", {}, {}, {{2, 3.0f}, {0, 1.0f}, {1, 2.0f}}, {0, 1, 2}, {1.0f, 2.0f, 3.0f}},
        {"rewritten index", {}, {}, {{1, 1.0f}, {1, 2.0f}, {0, 0.5f}}, {0, 1}, {0.5f, 2.0f}},
        {"existing elements kept", {0, 1, 5}, {9.0f, 9.0f, 9.0f}, {{1, 0.1f}, {3, 0.3f}}, {0, 1, 3, 5},
         {9.0f, 0.1f, 0.3f, 9.0f}},
        {"existing duplicates: the later", {4, 4}, {1.0f, 2.0f}, {{0, 0.0f}}, {0, 4}, {0.0f, 2.0f}},
        {"far index beside dense ones", {}, {}, {{0, 1.0f}, {2000000000u, 7.0f}, {1, 2.0f}, {2000000000u, 8.0f}},
         {0, 1, 2000000000}, {1.0f, 2.0f, 8.0f}},
    };
    for (const auto& c : cases) {
        MObject node = hostapi::makeDependencyNode("arrayNode");
        hostapi::Plug& plug = hostapi::asDependencyNode(node)->addPlug("uparams", "quelvarn__uparams");
        plug.value.indices = c.startIndices;
        plug.value.values = c.startValues;
        writeElements(MFnDependencyNode(node).findPlug("uparams", true), c.writes);
        const hostapi::PlugValue& stored = hostapi::asDependencyNode(node)->plugs[0].value;
        EXPECT_THAT(stored.indices, ElementsAreArray(c.indices)) << c.name;
        EXPECT_THAT(stored.values, ElementsAreArray(c.values)) << c.name;
    }
}
