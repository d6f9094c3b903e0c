#pragma once
// The viewport draw manager. This host has no viewport: every call is recorded, in
// order, with the colour in effect, so that the host can render or inspect it later.
// A fresh draw manager draws in opaque white (1, 1, 1, 1).

#include <vector>

#include <hostapi/draw_record.h>
#include <maya/MColor.h>
#include <maya/MPoint.h>
#include <maya/MString.h>

class MUIDrawManager {
public:
    enum Selectability { kNonSelectable = 0, kSelectable = 1, kAutomatic = 2 };
    enum TextAlignment { kLeft = 0, kCenter = 1, kRight = 2 };

    void beginDrawable(unsigned int selectability, unsigned int selectionName);
    void endDrawable();
    void setColor(const MColor& color);
    void line(const MPoint& startPoint, const MPoint& endPoint);
    void point(const MPoint& position);
    // backgroundSize, when given, points to two ints (width, height).
    void text(const MPoint& position, const MString& text, TextAlignment alignment = kLeft,
              const int* backgroundSize = nullptr, const MColor* backgroundColor = nullptr, bool dynamic = false);

    // Stand-in access to the recorded calls; not part of the plug-in's vocabulary.
    const std::vector<hostapi::DrawPrimitive>& recorded() const { return recorded_; }
    void clearRecorded() { recorded_.clear(); }

private:
    hostapi::DrawPrimitive& append(hostapi::DrawPrimitive::Kind kind);

    MColor color_{1.0f, 1.0f, 1.0f, 1.0f};
    std::vector<hostapi::DrawPrimitive> recorded_;
};
