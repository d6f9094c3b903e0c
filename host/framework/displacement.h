#pragma once
// How far a run moved the points: what the closing lines and the demo summary report.

#include <cstddef>
#include <vector>

#include "KxTypes.h"

namespace ostrivel {

struct Displacement {
    size_t moved = 0;        // points whose position changed at all
    double largest = 0.0;    // the longest move
    size_t largestPoint = 0;
};

Displacement measure(const std::vector<KxPoint>& rest, const std::vector<KxPoint>& deformed);

}  // namespace ostrivel
