// The debug drawing routines against the draw calls they record.
#include <gtest/gtest.h>

#include <Imath/ImathMatrix.h>
#include <Imath/ImathVec.h>
#include <maya/MUIDrawManager.h>

#include "debug_draw.h"

namespace {

using Kind = hostapi::DrawPrimitive::Kind;

void expectPoint(const MPoint& actual, double x, double y, double z) {
    EXPECT_EQ(actual.x, x);
    EXPECT_EQ(actual.y, y);
    EXPECT_EQ(actual.z, z);
    EXPECT_EQ(actual.w, 1.0);
}

void expectColor(const MColor& actual, float r, float g, float b) {
    EXPECT_EQ(actual, MColor(r, g, b, 1.0f)) << actual.r << " " << actual.g << " " << actual.b << " " << actual.a;
}

std::vector<Kind> kinds(const MUIDrawManager& drawManager) {
    std::vector<Kind> result;
    for (const auto& primitive : drawManager.recorded()) result.push_back(primitive.kind);
    return result;
}

TEST(DebugDraw, PolylineJoinsEachPointToThePreviousOne) {
    MUIDrawManager none;
    drawPolyline(none, {});
    drawPolyline(none, {{1, 2, 3}});
    EXPECT_TRUE(none.recorded().empty());

    MUIDrawManager two;
    drawPolyline(two, {{1, 2, 3}, {4, 5, 6}});
    ASSERT_EQ(kinds(two), std::vector<Kind>{Kind::Line});
    expectPoint(two.recorded()[0].points[0], 4, 5, 6);
    expectPoint(two.recorded()[0].points[1], 1, 2, 3);

    MUIDrawManager four;
    drawPolyline(four, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    ASSERT_EQ(four.recorded().size(), 3u);
    for (int i = 0; i < 3; ++i) {
        expectPoint(four.recorded()[i].points[0], i + 1, 0, 0);
        expectPoint(four.recorded()[i].points[1], i, 0, 0);
    }
}

TEST(DebugDraw, FrameAxesUseTheHomogeneousDivideButTheOriginDoesNot) {
    Imath::M44d m(2, 0, 0, 1,    //
                  0, 3, 0, 0.5,  //
                  0, 0, 4, 0,    //
                  10, 20, 30, 2);
    MUIDrawManager drawManager;
    drawFrame(drawManager, m, 1.5);
    const auto& r = drawManager.recorded();
    ASSERT_EQ(kinds(drawManager), (std::vector<Kind>{Kind::BeginDrawable, Kind::SetColor, Kind::Line, Kind::SetColor,
                                                     Kind::Line, Kind::SetColor, Kind::Line, Kind::EndDrawable}));
    EXPECT_EQ(r[0].selectability, 2u);
    EXPECT_EQ(r[0].selectionName, 0u);
    expectColor(r[2].color, 1, 0, 0);
    expectColor(r[4].color, 0, 1, 0);
    expectColor(r[6].color, 0, 0, 1);
    for (int line : {2, 4, 6}) expectPoint(r[line].points[0], 10, 20, 30);  // w = 2 not divided out
    expectPoint(r[2].points[1], 13 / 3.5, 20 / 3.5, 30 / 3.5);
    expectPoint(r[4].points[1], 10 / 2.75, 24.5 / 2.75, 30 / 2.75);
    expectPoint(r[6].points[1], 5, 10, 18);

    // A general matrix: the axis ends are bit for bit the row-vector transform with divide.
    const Imath::M44d g(0.3, -1.1, 0.7, 0.05, 0.9, 0.2, -0.4, -0.02, 0.1, 0.6, 1.3, 0.01, -2.5, 4.25, 1.75, 1.1);
    MUIDrawManager general;
    drawFrame(general, g, 0.7);
    const Imath::V3d axes[3] = {{0.7, 0, 0}, {0, 0.7, 0}, {0, 0, 0.7}};
    for (int axis = 0; axis < 3; ++axis) {
        Imath::V3d end;
        g.multVecMatrix(axes[axis], end);
        expectPoint(general.recorded()[2 + 2 * axis].points[1], end.x, end.y, end.z);
    }
}

TEST(DebugDraw, ValueLabelsFormatSkipAndShade) {
    const std::vector<KxPoint> points{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}};
    const std::vector<float> values{2.996f, 2.5f, -0.00001f, -3.0f, 1.7f, 0.25f, 0.01f};
    MUIDrawManager drawManager;
    drawManager.setColor(MColor(0.2f, 0.4f, 0.6f));
    drawPointLabels(drawManager, points, &values, false, true);
    const auto& r = drawManager.recorded();
    // Per drawn value: the point, the shade, the label. The third value is negligible.
    ASSERT_EQ(r.size(), 1u + 6u * 3u);
    const int drawnIndex[6] = {0, 1, 3, 4, 5, 6};
    const char* labels[6] = {"3", "2.50", "-3", "1.70", "0.25", "0"};  // 0.01f judged whole in double
    const float shades[6] = {1.0f, 1.0f, 0.0f, 1.0f, 0.25f, 0.01f};
    MColor previous(0.2f, 0.4f, 0.6f);
    for (int k = 0; k < 6; ++k) {
        const auto& point = r[1 + 3 * k];
        const auto& shade = r[2 + 3 * k];
        const auto& text = r[3 + 3 * k];
        ASSERT_EQ(point.kind, Kind::Point);
        ASSERT_EQ(shade.kind, Kind::SetColor);
        ASSERT_EQ(text.kind, Kind::Text);
        expectPoint(point.points[0], drawnIndex[k], 0, 0);
        EXPECT_EQ(point.color, previous) << "point " << k << " keeps the colour of the previous draw";
        expectColor(text.color, shades[k], shades[k], shades[k]);
        expectPoint(text.points[0], drawnIndex[k], 0, 0);
        EXPECT_EQ(text.text, labels[k]);
        EXPECT_EQ(text.alignment, 0);
        EXPECT_FALSE(text.backgroundSize.has_value());
        EXPECT_FALSE(text.backgroundColor.has_value());
        EXPECT_FALSE(text.dynamic);
        previous = text.color;
    }

    MUIDrawManager plain;
    drawPointLabels(plain, points, &values, false, false);
    ASSERT_EQ(plain.recorded().size(), 6u * 2u);
    EXPECT_EQ(plain.recorded()[1].text, "3");
    for (const auto& primitive : plain.recorded()) expectColor(primitive.color, 1, 1, 1);  // a fresh manager's white

    MUIDrawManager nothing;
    drawPointLabels(nothing, points, nullptr, false, true);
    drawPointLabels(nothing, {}, &values, true, true);
    EXPECT_TRUE(nothing.recorded().empty());
}

TEST(DebugDraw, IndexLabelsIgnoreValuesAndShading) {
    const std::vector<KxPoint> points{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}};
    const std::vector<float> values{0.0f, 5.0f, 0.0f};
    for (const std::vector<float>* given : {static_cast<const std::vector<float>*>(nullptr), &values}) {
        MUIDrawManager drawManager;
        drawPointLabels(drawManager, points, given, true, true);
        ASSERT_EQ(kinds(drawManager), (std::vector<Kind>{Kind::Point, Kind::Text, Kind::Point, Kind::Text, Kind::Point,
                                                         Kind::Text}));
        for (int i = 0; i < 3; ++i) {
            expectPoint(drawManager.recorded()[2 * i].points[0], i, i, i);
            EXPECT_EQ(drawManager.recorded()[2 * i + 1].text, std::to_string(i));
            EXPECT_EQ(drawManager.recorded()[2 * i + 1].alignment, 0);
        }
    }
}

TEST(DebugDraw, DrawManagerRecordsTextArguments) {
    MUIDrawManager drawManager;
    const int size[2] = {40, 12};
    const MColor background(0.1f, 0.2f, 0.3f, 0.5f);
    drawManager.text(MPoint(1, 2, 3), "a", MUIDrawManager::kRight, size, &background, true);
    const auto& text = drawManager.recorded().at(0);
    EXPECT_EQ(text.alignment, 2);
    ASSERT_TRUE(text.backgroundSize.has_value());
    EXPECT_EQ(*text.backgroundSize, (std::array<int, 2>{40, 12}));
    EXPECT_EQ(text.backgroundColor, background);
    EXPECT_TRUE(text.dynamic);
}

}  // namespace
