// The SVG picture of recorded draw calls: placement per view axis, colours, escaping,
// reproducible text, and the file writer. One test also leaves a sample picture behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <Imath/ImathMatrix.h>
#include <maya/MUIDrawManager.h>

#include "debug_draw.h"
#include "plugin_library.h"
#include "svg_renderer.h"

namespace {

using ostrivel::renderSvg;
using ostrivel::SvgOptions;
using ostrivel::ViewAxis;
using testing::HasSubstr;
using testing::Not;

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

SvgOptions square() {
    SvgOptions options;
    options.width = 200;
    options.height = 200;
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

TEST(SvgRenderer, ColoursTextsGroupsTitleAndLegend) {
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

    SvgOptions options = square();
    options.title = "Frame & labels";
    options.legend = {{MColor(1, 0, 0), "x <axis>"}, {MColor(0, 0, 1), "z"}};
    const std::string svg = renderSvg(drawManager.recorded(), options);

    EXPECT_THAT(svg, HasSubstr("<rect x=\"0\" y=\"0\" width=\"200\" height=\"200\" fill=\"#ffffff\"/>"));
    EXPECT_EQ(count(svg, "<line "), 3 + 2);
    EXPECT_EQ(count(svg, "stroke=\"#ff0000\"/>"), 1);  // the flat frame's x axis is gone
    EXPECT_EQ(count(svg, "stroke=\"#00ff00\"/>"), 2);
    EXPECT_EQ(count(svg, "stroke=\"#0000ff\"/>"), 2);
    EXPECT_THAT(svg, Not(HasSubstr("nan")));
    EXPECT_THAT(svg, Not(HasSubstr("inf")));
    EXPECT_EQ(count(svg, "<g>"), 2);
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
}

TEST(SvgRenderer, WriterReplacesTheFileWholeAndReportsFailures) {
    // A sample of everything the routines draw, kept beside the test binary for viewing.
    MUIDrawManager drawManager;
    std::vector<KxPoint> curve;
    for (int i = 0; i <= 12; ++i) curve.push_back({i / 6.0, std::sin(i / 2.0) * 0.6 + 1.0, 0.0});
    drawManager.setColor(MColor(0.3f, 0.3f, 0.3f));
    drawPolyline(drawManager, curve);
    Imath::M44d frame;
    frame.setTranslation(Imath::V3d(0.2, 0.2, 0.0));
    drawFrame(drawManager, frame, 0.5);
    std::vector<float> values;
    for (size_t i = 0; i < curve.size(); ++i) values.push_back(static_cast<float>(i) * 0.25f - 0.5f);
    drawManager.setColor(MColor(0.8f, 0.1f, 0.6f));
    drawPointLabels(drawManager, curve, &values, false, true);
    SvgOptions options;
    options.title = "Polyline, frame and shaded value labels";
    options.legend = {{MColor(1, 0, 0), "frame x"}, {MColor(0, 1, 0), "frame y"}, {MColor(0.3f, 0.3f, 0.3f), "polyline"},
                      {MColor(1, 1, 1), "value 1 and above"}};
    const std::string svg = renderSvg(drawManager.recorded(), options);

    const std::string path = "draw_sample.svg";
    std::filesystem::remove(path);
    ostrivel::writeSvg(path, "old");
    ostrivel::writeSvg(path, svg);
    std::ifstream file(path, std::ios::binary);
    std::stringstream read;
    read << file.rdbuf();
    EXPECT_EQ(read.str(), svg);
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr(".partial-")));

    EXPECT_THROW(ostrivel::writeSvg("no/such/folder/x.svg", svg), ostrivel::HostError);
}

}  // namespace
