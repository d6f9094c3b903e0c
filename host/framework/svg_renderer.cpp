#include "svg_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "atomic_file.h"

namespace ostrivel {
namespace {

using hostapi::DrawPrimitive;

// Two decimals everywhere, and no "-0.00", so equal pictures are equal texts.
std::string number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string result = text;
    if (result == "-0.00") result = "0.00";
    return result;
}

double channel(float value) { return std::isfinite(value) ? std::clamp(static_cast<double>(value), 0.0, 1.0) : 0.0; }

std::string hexColor(const MColor& color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned>(std::lround(channel(color.r) * 255.0)),
                  static_cast<unsigned>(std::lround(channel(color.g) * 255.0)),
                  static_cast<unsigned>(std::lround(channel(color.b) * 255.0)));
    return text;
}

std::string opacity(const MColor& color) {
    const double alpha = channel(color.a);
    return alpha < 1.0 ? " opacity=\"" + number(alpha) + "\"" : "";
}

double luminance(const MColor& color) {
    return 0.2126 * channel(color.r) + 0.7152 * channel(color.g) + 0.0722 * channel(color.b);
}

// Text for XML content and attribute values; control characters XML cannot carry are dropped.
std::string escaped(const std::string& text) {
    std::string result;
    for (const char c : text) {
        switch (c) {
            case '&': result += "&amp;"; break;
            case '<': result += "&lt;"; break;
            case '>': result += "&gt;"; break;
            case '"': result += "&quot;"; break;
            case '\'': result += "&apos;"; break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') result += c;
        }
    }
    return result;
}

// Characters, not bytes, of UTF-8 text: for estimating label widths.
size_t characterCount(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(),
                                             [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

struct Planar {
    double right;
    double up;
};

Planar project(const MPoint& p, ViewAxis axis) {
    switch (axis) {
        case ViewAxis::X: return {p.y, p.z};
        case ViewAxis::Y: return {p.x, p.z};
        case ViewAxis::Z: break;
    }
    return {p.x, p.y};
}

bool drawsGeometry(const DrawPrimitive& primitive) {
    return primitive.kind == DrawPrimitive::Kind::Line || primitive.kind == DrawPrimitive::Kind::Point ||
           primitive.kind == DrawPrimitive::Kind::Text;
}

bool finite(const DrawPrimitive& primitive) {
    return std::all_of(primitive.points.begin(), primitive.points.end(), [](const MPoint& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    });
}

// Where the title, the legend and the drawing go, and the world-to-pixel mapping.
struct Layout {
    double titleHeight = 0.0;
    double legendX = 0.0, legendY = 0.0, legendWidth = 0.0, legendRow = 0.0;
    double plotCenterX = 0.0, plotCenterY = 0.0;
    double worldCenterRight = 0.0, worldCenterUp = 0.0;
    double scale = 1.0;

    double pixelX(const Planar& p) const { return plotCenterX + (p.right - worldCenterRight) * scale; }
    double pixelY(const Planar& p) const { return plotCenterY - (p.up - worldCenterUp) * scale; }
};

Layout layOut(const std::vector<DrawPrimitive>& primitives, const SvgOptions& options) {
    Layout layout;
    const double width = options.width, height = options.height, margin = options.margin;
    if (!options.title.empty()) layout.titleHeight = options.fontSize * 2.0;
    const double plotTop = margin + layout.titleHeight;
    double plotRight = width - margin;
    if (!options.legend.empty()) {
        size_t longest = 0;
        for (const SvgLegendEntry& entry : options.legend) longest = std::max(longest, characterCount(entry.label));
        layout.legendRow = options.fontSize * 1.5;
        // padding, swatch, gap, text (0.6 em per character is generous for sans-serif), padding
        layout.legendWidth = options.fontSize * (0.8 + 1.0 + 0.5 + 0.6 * static_cast<double>(longest) + 0.8);
        layout.legendX = width - margin / 2.0 - layout.legendWidth;
        layout.legendY = plotTop;
        plotRight = layout.legendX - margin / 2.0;
    }
    const double plotLeft = margin, plotBottom = height - margin;
    layout.plotCenterX = (plotLeft + plotRight) / 2.0;
    layout.plotCenterY = (plotTop + plotBottom) / 2.0;

    double minRight = std::numeric_limits<double>::infinity(), maxRight = -minRight;
    double minUp = minRight, maxUp = -minRight;
    for (const DrawPrimitive& primitive : primitives) {
        if (!drawsGeometry(primitive) || !finite(primitive)) continue;
        for (const MPoint& point : primitive.points) {
            const Planar p = project(point, options.axis);
            minRight = std::min(minRight, p.right);
            maxRight = std::max(maxRight, p.right);
            minUp = std::min(minUp, p.up);
            maxUp = std::max(maxUp, p.up);
        }
    }
    if (minRight > maxRight) return layout;  // nothing to place
    layout.worldCenterRight = (minRight + maxRight) / 2.0;
    layout.worldCenterUp = (minUp + maxUp) / 2.0;
    // One scale for both directions, so the view is not distorted; a single point keeps 1.
    const double spanRight = maxRight - minRight, spanUp = maxUp - minUp;
    const double roomRight = std::max(plotRight - plotLeft, 1.0), roomUp = std::max(plotBottom - plotTop, 1.0);
    double scale = std::numeric_limits<double>::infinity();
    if (spanRight > 0.0) scale = std::min(scale, roomRight / spanRight);
    if (spanUp > 0.0) scale = std::min(scale, roomUp / spanUp);
    layout.scale = std::isfinite(scale) ? scale : 1.0;
    return layout;
}

const char* textAnchor(int alignment) {
    switch (alignment) {
        case 1: return "middle";
        case 2: return "end";
        default: return "start";
    }
}

void writePrimitive(std::string& svg, const DrawPrimitive& primitive, const Layout& layout,
                    const SvgOptions& options, const std::string& outline, int& openGroups) {
    const std::string color = hexColor(primitive.color);
    switch (primitive.kind) {
        case DrawPrimitive::Kind::BeginDrawable:
            svg += "<g>\n";
            ++openGroups;
            return;
        case DrawPrimitive::Kind::EndDrawable:
            if (openGroups > 0) {
                svg += "</g>\n";
                --openGroups;
            }
            return;
        case DrawPrimitive::Kind::SetColor: return;
        default: break;
    }
    if (!finite(primitive) || primitive.points.empty()) return;
    const Planar first = project(primitive.points[0], options.axis);
    const std::string x = number(layout.pixelX(first)), y = number(layout.pixelY(first));
    if (primitive.kind == DrawPrimitive::Kind::Line && primitive.points.size() == 2) {
        const Planar second = project(primitive.points[1], options.axis);
        svg += "<line x1=\"" + x + "\" y1=\"" + y + "\" x2=\"" + number(layout.pixelX(second)) + "\" y2=\"" +
               number(layout.pixelY(second)) + "\" stroke=\"" + color + "\"" + opacity(primitive.color) + "/>\n";
    } else if (primitive.kind == DrawPrimitive::Kind::Point) {
        svg += "<circle cx=\"" + x + "\" cy=\"" + y + "\" r=\"" + number(options.pointRadius) + "\" fill=\"" + color +
               "\" stroke=\"" + outline + "\" stroke-width=\"0.75\"" + opacity(primitive.color) + "/>\n";
    } else if (primitive.kind == DrawPrimitive::Kind::Text) {
        // Beside the point rather than on it, on the side the alignment opens towards.
        const double offset = options.fontSize * 0.4;
        const double shiftX = primitive.alignment == 1 ? 0.0 : primitive.alignment == 2 ? -offset : offset;
        svg += "<text x=\"" + number(layout.pixelX(first) + shiftX) + "\" y=\"" + number(layout.pixelY(first) - offset) +
               "\" text-anchor=\"" + textAnchor(primitive.alignment) + "\" fill=\"" + color + "\"";
        // A colour close to the background gets a halo so that it stays readable.
        if (std::fabs(luminance(primitive.color) - luminance(options.background)) < 0.35)
            svg += " stroke=\"" + outline + "\" stroke-width=\"1.50\" paint-order=\"stroke\"";
        svg += opacity(primitive.color) + ">" + escaped(primitive.text) + "</text>\n";
    }
}

void writeLegend(std::string& svg, const Layout& layout, const SvgOptions& options, const std::string& outline) {
    const double font = options.fontSize, height = layout.legendRow * static_cast<double>(options.legend.size()) + font;
    svg += "<g class=\"legend\">\n<rect x=\"" + number(layout.legendX) + "\" y=\"" + number(layout.legendY) +
           "\" width=\"" + number(layout.legendWidth) + "\" height=\"" + number(height) + "\" fill=\"" +
           hexColor(options.background) + "\" stroke=\"#999999\" stroke-width=\"1\"/>\n";
    for (size_t row = 0; row < options.legend.size(); ++row) {
        const SvgLegendEntry& entry = options.legend[row];
        const double top = layout.legendY + font * 0.5 + layout.legendRow * static_cast<double>(row) +
                           (layout.legendRow - font) / 2.0;
        svg += "<rect x=\"" + number(layout.legendX + font * 0.8) + "\" y=\"" + number(top) + "\" width=\"" +
               number(font) + "\" height=\"" + number(font) + "\" fill=\"" + hexColor(entry.color) + "\" stroke=\"" +
               outline + "\" stroke-width=\"0.75\"/>\n";
        svg += "<text x=\"" + number(layout.legendX + font * 2.3) + "\" y=\"" + number(top + font * 0.85) +
               "\" fill=\"#000000\">" + escaped(entry.label) + "</text>\n";
    }
    svg += "</g>\n";
}

}  // namespace

std::string renderSvg(const std::vector<DrawPrimitive>& primitives, const SvgOptions& options) {
    const Layout layout = layOut(primitives, options);
    const std::string outline = luminance(options.background) > 0.5 ? "#404040" : "#c0c0c0";
    const std::string w = std::to_string(options.width), h = std::to_string(options.height);
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w +
           " " + h + "\" font-family=\"sans-serif\" font-size=\"" + number(options.fontSize) + "\">\n";
    svg += "<rect x=\"0\" y=\"0\" width=\"" + w + "\" height=\"" + h + "\" fill=\"" + hexColor(options.background) +
           "\"/>\n";
    if (!options.title.empty()) {
        svg += "<text class=\"title\" x=\"" + number(options.width / 2.0) + "\" y=\"" +
               number(options.margin / 2.0 + options.fontSize * 1.25) + "\" text-anchor=\"middle\" font-size=\"" +
               number(options.fontSize * 1.25) + "\" font-weight=\"bold\" fill=\"#000000\">" + escaped(options.title) +
               "</text>\n";
    }
    svg += "<g class=\"drawing\" stroke-width=\"" + number(options.lineWidth) + "\" stroke-linecap=\"round\">\n";
    int openGroups = 0;
    for (const DrawPrimitive& primitive : primitives)
        writePrimitive(svg, primitive, layout, options, outline, openGroups);
    for (; openGroups > 0; --openGroups) svg += "</g>\n";  // a drawable left open still closes
    svg += "</g>\n";
    if (!options.legend.empty()) writeLegend(svg, layout, options, outline);
    svg += "</svg>\n";
    return svg;
}

void writeSvg(const std::string& path, const std::string& svg) { writeFileAtomically(path, svg); }

}  // namespace ostrivel
