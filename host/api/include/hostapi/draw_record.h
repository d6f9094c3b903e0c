#pragma once
// What a draw manager was asked to draw, one entry per call in call order. The host's
// renderers and the tests read this list; the plug-in only makes the calls.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <maya/MColor.h>
#include <maya/MPoint.h>

namespace hostapi {

struct DrawPrimitive {
    enum class Kind { BeginDrawable, EndDrawable, SetColor, Line, Point, Text };
    Kind kind = Kind::Point;
    // Line: start and end. Point: the point. Text: its position. Otherwise empty.
    std::vector<MPoint> points;
    // The colour in effect after the call (for SetColor, the colour just set).
    MColor color;
    // Text only: the text, its alignment value and the optional arguments as given.
    std::string text;
    int alignment = 0;
    std::optional<std::array<int, 2>> backgroundSize;
    std::optional<MColor> backgroundColor;
    bool dynamic = false;
    // BeginDrawable only: its arguments.
    unsigned int selectability = 0;
    unsigned int selectionName = 0;
};

}  // namespace hostapi
