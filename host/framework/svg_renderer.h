#pragma once
// Renders recorded draw calls as a standalone SVG picture: an orthographic view along
// one axis, scaled uniformly to fit the drawing, on a plain background, with an optional
// title strip on top and a legend in the top right corner.
//
// Lines become <line>, points small <circle> and texts <text>, each in the colour that
// was in effect when it was drawn (an alpha below 1 becomes an opacity). Points and texts
// get a thin dark outline so that white drawing stays visible on white. A drawable
// (begin ... end) becomes a <g> group. Anything with a non-finite coordinate is left out.
// Coordinates are written with two decimals, so the same input always gives the same text.

#include <string>
#include <vector>

#include <hostapi/draw_record.h>
#include <maya/MColor.h>

namespace ostrivel {

// The axis the view looks along, and what shows to the right and upwards:
// Z: x right, y up.  Y: x right, z up.  X: y right, z up.
enum class ViewAxis { X, Y, Z };

struct SvgLegendEntry {
    MColor color;
    std::string label;
};

struct SvgOptions {
    ViewAxis axis = ViewAxis::Z;
    int width = 800;       // picture size in pixels
    int height = 600;
    double margin = 40.0;  // free pixels between the content and the edges (or title, legend)
    double fontSize = 12.0;
    double pointRadius = 3.0;
    double lineWidth = 1.5;
    MColor background{1.0f, 1.0f, 1.0f, 1.0f};
    std::string title;                  // none when empty
    std::vector<SvgLegendEntry> legend;  // none when empty
};

std::string renderSvg(const std::vector<hostapi::DrawPrimitive>& primitives, const SvgOptions& options);

// Writes under a temporary name in the same folder, then renames, so readers never see a
// partial file. Throws HostError naming the path.
void writeSvg(const std::string& path, const std::string& svg);

}  // namespace ostrivel
