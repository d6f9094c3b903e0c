#include "finite_points.h"

#include "GeometryRules.h"
#include "scene_fields.h"

namespace ostrivel {

void refuseNonFinitePoints(const std::vector<KxPoint>& points, const std::string& nodeName) {
    for (size_t k = 0; k < points.size(); ++k) {
        const KxPoint& p = points[k];
        if (geometry_rules::isFinitePoint(p)) continue;
        throw NonFiniteOutput(nodeName + ": deformed point " + std::to_string(k) + " is not finite (" +
                              fields::formatNumber(p.x) + ", " + fields::formatNumber(p.y) + ", " +
                              fields::formatNumber(p.z) + "); nothing written");
    }
}

}  // namespace ostrivel
