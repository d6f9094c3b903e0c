#include "debug_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <maya/MColor.h>
#include <maya/MPoint.h>
#include <maya/MString.h>

namespace {

constexpr double kNegligible = 1e-5;

MPoint toMPoint(const KxPoint& p) { return MPoint(p.x, p.y, p.z, 1.0); }

// (x, y, z, 1) as a row vector times the matrix, then divided by the resulting w.
MPoint transformDivided(const Imath::M44d& m, double x, double y, double z) {
    const double a = x * m[0][0] + y * m[1][0] + z * m[2][0] + m[3][0];
    const double b = x * m[0][1] + y * m[1][1] + z * m[2][1] + m[3][1];
    const double c = x * m[0][2] + y * m[1][2] + z * m[2][2] + m[3][2];
    const double w = x * m[0][3] + y * m[1][3] + z * m[2][3] + m[3][3];
    return MPoint(a / w, b / w, c / w, 1.0);
}

// Whole numbers (within 0.01, judged in single precision) print without decimals.
std::string formatValue(float value) {
    const float magnitude = std::fabs(value);
    const float offWhole = std::fabs(magnitude - std::round(magnitude));
    const char* format = static_cast<double>(offWhole) < 0.01 ? "%0.f" : "%.2f";
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<double>(value));
    return text;
}

void drawLabel(MUIDrawManager& drawManager, const MPoint& position, const std::string& text) {
    drawManager.text(position, MString(text), MUIDrawManager::kLeft, nullptr, nullptr, false);
}

}  // namespace

void drawPolyline(MUIDrawManager& drawManager, const std::vector<KxPoint>& points) {
    for (size_t i = 1; i < points.size(); ++i) drawManager.line(toMPoint(points[i]), toMPoint(points[i - 1]));
}

void drawFrame(MUIDrawManager& drawManager, const Imath::M44d& matrix, double length) {
    drawManager.beginDrawable(MUIDrawManager::kAutomatic, 0);
    // The origin is the translation row as it stands: no divide.
    const MPoint origin(matrix[3][0], matrix[3][1], matrix[3][2], 1.0);
    drawManager.setColor(MColor(1.0f, 0.0f, 0.0f, 1.0f));
    drawManager.line(origin, transformDivided(matrix, length, 0.0, 0.0));
    drawManager.setColor(MColor(0.0f, 1.0f, 0.0f, 1.0f));
    drawManager.line(origin, transformDivided(matrix, 0.0, length, 0.0));
    drawManager.setColor(MColor(0.0f, 0.0f, 1.0f, 1.0f));
    drawManager.line(origin, transformDivided(matrix, 0.0, 0.0, length));
    drawManager.endDrawable();
}

void drawPointLabels(MUIDrawManager& drawManager, const std::vector<KxPoint>& points,
                     const std::vector<float>* values, bool showIndex, bool shadeByValue) {
    for (size_t i = 0; i < points.size(); ++i) {
        const MPoint position = toMPoint(points[i]);
        if (showIndex) {
            drawManager.point(position);
            drawLabel(drawManager, position, std::to_string(i));
            continue;
        }
        if (!values || i >= values->size()) continue;  // a short value list labels only what it covers
        const float value = (*values)[i];
        if (!(std::fabs(static_cast<double>(value)) > kNegligible)) continue;
        // The point keeps the colour left by the previous draw; only its label is shaded.
        drawManager.point(position);
        if (shadeByValue) {
            const float shade = std::clamp(value, 0.0f, 1.0f);
            drawManager.setColor(MColor(shade, shade, shade, 1.0f));
        }
        drawLabel(drawManager, position, formatValue(value));
    }
}
