// The debug drawing routines against the draw calls they record, and the SVG picture of
// recorded calls: placement per view axis, colours, escaping, reproducible text, and the
// file writer, which leaves a sample picture beside the test binary.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <Imath/ImathMatrix.h>
#include <Imath/ImathVec.h>
#include <maya/MUIDrawManager.h>

#include "debug_draw.h"
#include "plugin_library.h"
#include "svg_renderer.h"

namespace {

using Kind = hostapi::DrawPrimitive::Kind;
using ostrivel::renderSvg;
using ostrivel::SvgOptions;
using ostrivel::ViewAxis;
using testing::HasSubstr;
using testing::Not;
using Xyzw = std::array<double, 4>;

Xyzw xyzw(const MPoint& p) { return {p.x, p.y, p.z, p.w}; }

std::vector<Kind> kinds(const MUIDrawManager& drawManager) {
    std::vector<Kind> result;
    for (const auto& primitive : drawManager.recorded()) result.push_back(primitive.kind);
    return result;
}

TEST(DebugDraw, PolylineJoinsEachPointToThePreviousOne) {
    MUIDrawManager drawManager;
    drawPolyline(drawManager, {});
    drawPolyline(drawManager, {{1, 2, 3}});
    EXPECT_TRUE(drawManager.recorded().empty());
    drawPolyline(drawManager, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    ASSERT_EQ(kinds(drawManager), std::vector<Kind>(3, Kind::Line));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(xyzw(drawManager.recorded()[i].points[0]), (Xyzw{i + 1.0, 0, 0, 1}));
        EXPECT_EQ(xyzw(drawManager.recorded()[i].points[1]), (Xyzw{i + 0.0, 0, 0, 1}));
    }
}

TEST(DebugDraw, FrameAxesUseTheHomogeneousDivideButTheOriginDoesNot) {
    // A general matrix, w = 1.1 in the translation row.
    const Imath::M44d m(0.3, -1.1, 0.7, 0.05, 0.9, 0.2, -0.4, -0.02, 0.1, 0.6, 1.3, 0.01, -2.5, 4.25, 1.75, 1.1);
    MUIDrawManager drawManager;
    drawFrame(drawManager, m, 0.7);
    const auto& r = drawManager.recorded();
    ASSERT_EQ(kinds(drawManager), (std::vector<Kind>{Kind::BeginDrawable, Kind::SetColor, Kind::Line, Kind::SetColor,
                                                     Kind::Line, Kind::SetColor, Kind::Line, Kind::EndDrawable}));
    EXPECT_EQ(r[0].selectability, 2u);
    EXPECT_EQ(r[0].selectionName, 0u);
    const MColor colours[3] = {MColor(1, 0, 0, 1), MColor(0, 1, 0, 1), MColor(0, 0, 1, 1)};
    for (int axis = 0; axis < 3; ++axis) {
        // The axis end is bit for bit the row-vector transform divided by its w.
        Imath::V3d end, tip(0, 0, 0);
        tip[axis] = 0.7;
        m.multVecMatrix(tip, end);
        const auto& line = r[2 + 2 * axis];
        EXPECT_EQ(line.color, colours[axis]) << axis;
        EXPECT_EQ(xyzw(line.points[0]), (Xyzw{-2.5, 4.25, 1.75, 1}));
        EXPECT_EQ(xyzw(line.points[1]), (Xyzw{end.x, end.y, end.z, 1}));
    }
}

TEST(DebugDraw, PointLabelsFormatSkipAndShadeValuesOrShowIndices) {
    std::vector<KxPoint> points;
    for (int i = 0; i < 7; ++i) points.push_back({i * 1.0, 0, 0});
    const std::vector<float> values{2.996f, 2.5f, -0.00001f, -3.0f, 1.7f, 0.25f, 0.01f};
    MUIDrawManager drawManager;
    drawManager.setColor(MColor(0.2f, 0.4f, 0.6f));
    drawPointLabels(drawManager, points, &values, false, true);
    const auto& r = drawManager.recorded();
    // Per drawn value: the point in the colour of the previous draw, the shade, the label.
    // The third value is negligible; 0.01f is judged whole in double.
    ASSERT_EQ(r.size(), 1u + 6u * 3u);
    const int drawn[6] = {0, 1, 3, 4, 5, 6};
    const char* labels[6] = {"3", "2.50", "-3", "1.70", "0.25", "0"};
    const float shades[6] = {1.0f, 1.0f, 0.0f, 1.0f, 0.25f, 0.01f};
    for (int k = 0; k < 6; ++k) {
        const auto &point = r[1 + 3 * k], &shade = r[2 + 3 * k], &text = r[3 + 3 * k];
        ASSERT_TRUE(point.kind == Kind::Point && shade.kind == Kind::SetColor && text.kind == Kind::Text) << k;
        EXPECT_EQ(xyzw(point.points[0]), (Xyzw{drawn[k] * 1.0, 0, 0, 1}));
        EXPECT_EQ(xyzw(text.points[0]), xyzw(point.points[0]));
        EXPECT_EQ(point.color, r[3 * k].color) << k;
        EXPECT_EQ(text.color, MColor(shades[k], shades[k], shades[k], 1.0f)) << k;
        EXPECT_EQ(text.text, labels[k]);
        EXPECT_TRUE(text.alignment == 0 && !text.backgroundSize && !text.backgroundColor && !text.dynamic) << k;
    }

    // Unshaded: point and label only, in a fresh manager's white. No values or no points: nothing.
    MUIDrawManager plain;
    drawPointLabels(plain, points, &values, false, false);
    ASSERT_EQ(plain.recorded().size(), 6u * 2u);
    EXPECT_EQ(plain.recorded()[1].text, "3");
    for (const auto& primitive : plain.recorded()) EXPECT_EQ(primitive.color, MColor(1, 1, 1, 1));
    drawPointLabels(plain, points, nullptr, false, true);
    drawPointLabels(plain, {}, &values, true, true);
    EXPECT_EQ(plain.recorded().size(), 6u * 2u);

    // Index labels ignore values and shading, given or not.
    MUIDrawManager index;
    drawPointLabels(index, points, nullptr, true, true);
    drawPointLabels(index, points, &values, true, true);
    ASSERT_EQ(index.recorded().size(), 2u * 2u * 7u);
    for (size_t k = 0; k < 2 * 7; ++k) {
        const auto &point = index.recorded()[2 * k], &text = index.recorded()[2 * k + 1];
        EXPECT_TRUE(point.kind == Kind::Point && text.alignment == 0) << k;
        EXPECT_EQ(xyzw(point.points[0]), (Xyzw{k % 7 * 1.0, 0, 0, 1}));
        EXPECT_EQ(text.text, std::to_string(k % 7));
    }
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

SvgOptions square() {
    SvgOptions options;
    options.width = options.height = 200;
    options.margin = 20.0;  // leaves a 160 pixel square around (100, 100)
    return options;
}

TEST(SvgRenderer, ViewAxisPicksTheProjectedCoordinatesAndFitsThem) {
    MUIDrawManager drawManager;
    drawManager.line(MPoint(0, 0, 0), MPoint(2, 1, 4));
    SvgOptions options = square();
    options.axis = ViewAxis::Z;  // x right, y up: spans 2 by 1, 80 pixels a unit
    EXPECT_THAT(renderSvg(drawManager.recorded(), options),
                HasSubstr("<line x1=\"20.00\" y1=\"140.00\" x2=\"180.00\" y2=\"60.00\" stroke=\"#ffffff\"/>"));
    options.axis = ViewAxis::Y;  // x right, z up: spans 2 by 4, 40 pixels a unit
    EXPECT_THAT(renderSvg(drawManager.recorded(), options), HasSubstr("x1=\"60.00\" y1=\"180.00\" x2=\"140.00\" y2=\"20.00\""));
    options.axis = ViewAxis::X;  // y right, z up: spans 1 by 4
    EXPECT_THAT(renderSvg(drawManager.recorded(), options), HasSubstr("x1=\"80.00\" y1=\"180.00\" x2=\"120.00\" y2=\"20.00\""));

    // A single point sits in the middle of the drawing area.
    MUIDrawManager single;
    single.point(MPoint(7, -3, 2));
    EXPECT_THAT(renderSvg(single.recorded(), square()), HasSubstr("<circle cx=\"100.00\" cy=\"100.00\" r=\"3.00\""));
}

TEST(SvgRenderer, ColoursTextsGroupsTitleLegendAndTheWrittenFile) {
    MUIDrawManager drawManager;
    drawFrame(drawManager, Imath::M44d(), 1.0);
    drawManager.setColor(MColor(1.0f, 0.5f, 0.0f, 0.5f));
    drawManager.point(MPoint(0.5, 0.5, 0));
    drawManager.text(MPoint(0.5, 0.5, 0), "a<b & \"c\"", MUIDrawManager::kCenter);
    drawManager.setColor(MColor(1.0f, 1.0f, 1.0f));
    drawManager.text(MPoint(1, 1, 0), "white", MUIDrawManager::kRight);
    // An axis end at infinity (w = 0 after the transform) is left out, not drawn as NaN.
    Imath::M44d flat;
    flat[0][3] = -1.0;
    drawFrame(drawManager, flat, 1.0);
    drawManager.beginDrawable(MUIDrawManager::kAutomatic, 0);  // left open: still closed

    SvgOptions options = square();
    options.title = "Frame & labels";
    options.legend = {{MColor(1, 0, 0), "x <axis>"}, {MColor(0, 0, 1), "z"}};
    const std::string svg = renderSvg(drawManager.recorded(), options);

    EXPECT_THAT(svg, HasSubstr("<rect x=\"0\" y=\"0\" width=\"200\" height=\"200\" fill=\"#ffffff\"/>"));
    EXPECT_EQ(count(svg, "stroke=\"#ff0000\"/>"), 1);  // the flat frame's x axis is gone
    EXPECT_EQ(count(svg, "stroke=\"#00ff00\"/>"), 2);
    EXPECT_EQ(count(svg, "stroke=\"#0000ff\"/>"), 2);
    EXPECT_THAT(svg, Not(testing::ContainsRegex("nan|inf")));
    EXPECT_EQ(count(svg, "<g>"), 3);
    EXPECT_EQ(count(svg, "<g"), count(svg, "</g>"));
    EXPECT_THAT(svg, HasSubstr("fill=\"#ff8000\" stroke=\"#404040\" stroke-width=\"0.75\" opacity=\"0.50\"/>"));
    EXPECT_THAT(svg, HasSubstr("text-anchor=\"middle\" fill=\"#ff8000\" opacity=\"0.50\">a&lt;b &amp; &quot;c&quot;</text>"));
    // White on white gets a dark halo; the orange label above did not need one.
    EXPECT_THAT(svg, HasSubstr("text-anchor=\"end\" fill=\"#ffffff\" stroke=\"#404040\" stroke-width=\"1.50\" "
                               "paint-order=\"stroke\">white</text>"));
    EXPECT_THAT(svg, HasSubstr("font-weight=\"bold\" fill=\"#000000\">Frame &amp; labels</text>"));
    EXPECT_THAT(svg, HasSubstr("fill=\"#ff0000\" stroke=\"#404040\" stroke-width=\"0.75\"/>\n<text"));
    EXPECT_THAT(svg, HasSubstr(">x &lt;axis&gt;</text>"));
    EXPECT_EQ(svg, renderSvg(drawManager.recorded(), options));  // reproducible

    // The writer replaces a longer old file whole, leaves no partial file, and reports failures.
    const std::string path = "draw_sample.svg";
    std::filesystem::remove(path);  // the first write creates the file
    ostrivel::writeSvg(path, svg + svg);
    ostrivel::writeSvg(path, svg);
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), svg);
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr(".partial-")));
    EXPECT_THROW(ostrivel::writeSvg("no/such/folder/x.svg", svg), ostrivel::HostError);
}

}  // namespace
