#include "nurbs_geometry.h"

#include <cmath>
#include <limits>

#include "GeometryRules.h"
#include "nurbs_surface_eval.h"

namespace hostapi {

namespace {

std::string checkDirection(const char* name, int degree, int cvCount, const std::vector<double>& knots) {
    const std::string dir(name);
    if (degree < 1 || degree > kMaxNurbsDegree)
        return "degree" + dir + " " + std::to_string(degree) + " is outside 1.." + std::to_string(kMaxNurbsDegree);
    if (cvCount < degree + 1)
        return "cvCount" + dir + " " + std::to_string(cvCount) + " is below degree + 1 (" +
               std::to_string(degree + 1) + ")";
    const size_t expected = static_cast<size_t>(cvCount) + static_cast<size_t>(degree) - 1;
    if (knots.size() != expected)
        return "knots" + dir + " has " + std::to_string(knots.size()) + " entries, expected " +
               std::to_string(expected);
    // Knot order, repeats and the domain follow the rule every geometry reader shares.
    return geometry_rules::knotProblem(knots.data(), knots.size(), static_cast<size_t>(degree - 1),
                                       static_cast<size_t>(cvCount - 1), static_cast<size_t>(degree), "knots" + dir, dir)
        .text;
}

}  // namespace

std::string validateGeometry(const NurbsSurfaceGeometry& s) {
    std::string reason = checkDirection("U", s.degreeU, s.cvCountU, s.knotsU);
    if (reason.empty()) reason = checkDirection("V", s.degreeV, s.cvCountV, s.knotsV);
    if (!reason.empty()) return reason;
    const size_t expected = static_cast<size_t>(s.cvCountU) * static_cast<size_t>(s.cvCountV);
    if (s.cvs.size() != expected)
        return "cvs has " + std::to_string(s.cvs.size()) + " entries, expected " + std::to_string(expected);
    for (size_t k = 0; k < s.cvs.size(); ++k) {
        const auto& cv = s.cvs[k];
        if (!std::isfinite(cv[0]) || !std::isfinite(cv[1]) || !std::isfinite(cv[2]) || !std::isfinite(cv[3]))
            return "cv " + std::to_string(k) + " is not finite";
        if (!(cv[3] > 0.0)) return "cv " + std::to_string(k) + " has a weight that is not positive";
    }
    return {};
}

void knotDomain(const NurbsSurfaceGeometry& s, double& startU, double& endU, double& startV, double& endV) {
    auto domain = [](const std::vector<double>& knots, int degree, int cvCount, double& start, double& end) {
        const bool inRange = degree >= 1 && cvCount >= 1 && static_cast<size_t>(degree) <= knots.size() &&
                             static_cast<size_t>(cvCount) <= knots.size();
        start = inRange ? knots[degree - 1] : 0.0;
        end = inRange ? knots[cvCount - 1] : 0.0;
    };
    domain(s.knotsU, s.degreeU, s.cvCountU, startU, endU);
    domain(s.knotsV, s.degreeV, s.cvCountV, startV, endV);
}

std::array<double, 3> evaluate(const NurbsSurfaceGeometry& surface, double u, double v) {
    if (!validateGeometry(surface).empty()) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan, nan};
    }
    return nurbs::surfacePoint(nurbs::PreparedSurface(surface), u, v);
}

}  // namespace hostapi
