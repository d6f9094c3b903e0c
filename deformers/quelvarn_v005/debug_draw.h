#pragma once
// Viewport drawing for inspecting the node's data: a polyline, the axes of a frame
// matrix, and per-point labels. Nothing in the node calls these; a host drawing pass may.

#include <vector>

#include <Imath/ImathMatrix.h>
#include <maya/MUIDrawManager.h>

#include "KxTypes.h"

// Lines from each point to the one before it; nothing for fewer than two points.
void drawPolyline(MUIDrawManager& drawManager, const std::vector<KxPoint>& points);

// The frame's x, y and z axes (red, green, blue), each `length` long, from the frame's
// translation row. Axis ends go through the matrix with the homogeneous divide.
void drawFrame(MUIDrawManager& drawManager, const Imath::M44d& matrix, double length);

// Per point: its index, or (with values) its value, optionally shaded by that value.
// Without the index, points with no value or a negligible one are skipped.
void drawPointLabels(MUIDrawManager& drawManager, const std::vector<KxPoint>& points,
                     const std::vector<float>* values, bool showIndex, bool shadeByValue);
