#include "displacement.h"

#include <cmath>

namespace ostrivel {

Displacement measure(const std::vector<KxPoint>& rest, const std::vector<KxPoint>& deformed) {
    Displacement summary;
    for (size_t k = 0; k < rest.size() && k < deformed.size(); ++k) {
        const double dx = deformed[k].x - rest[k].x, dy = deformed[k].y - rest[k].y, dz = deformed[k].z - rest[k].z;
        const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (length == 0.0) continue;
        ++summary.moved;
        if (length > summary.largest) {
            summary.largest = length;
            summary.largestPoint = k;
        }
    }
    return summary;
}

}  // namespace ostrivel
