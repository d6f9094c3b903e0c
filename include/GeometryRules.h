#pragma once
// What makes a knot vector and a profile curve usable, written once for every reader of
// geometry: the scene reader refuses what fails, the node checks the curve's shape before
// its kernel runs, and the host's surface, picture and device upload ask the same rule.
// Header-only on purpose: the plug-in and the host include it without linking each other.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "KxTypes.h"

namespace geometry_rules {

// The curve kernel's scratch holds degree + 1 = 8 basis values.
constexpr int32_t kMaxCurveDegree = 7;

// What is wrong, and with which part of the geometry ("knots[3]", "degree"); `text`
// is empty when nothing is.
struct Problem {
    std::string field;
    std::string text;
    bool ok() const { return text.empty(); }
};

// Finite knots that never decrease, no value held more than `maxRepeat` times, and a
// domain [knots[domainFirst], knots[domainLast]] of positive length. `name` names the
// list in the problem ("knots", "knotsU"); `direction` ("U", or "" for a curve) the domain.
template <class Knot>
Problem knotProblem(const Knot* knots, std::size_t count, std::size_t domainFirst, std::size_t domainLast,
                    std::size_t maxRepeat, const std::string& name, const std::string& direction) {
    std::size_t run = 1;
    for (std::size_t k = 0; k < count; ++k) {
        const std::string at = name + "[" + std::to_string(k) + "]";
        if (!std::isfinite(static_cast<double>(knots[k]))) return {at, name + "[" + std::to_string(k) + "] is not finite"};
        if (k == 0) continue;
        if (knots[k] < knots[k - 1]) return {at, name + " decrease at index " + std::to_string(k)};
        run = knots[k] == knots[k - 1] ? run + 1 : 1;
        if (run > maxRepeat)
            return {at, name + " repeat a value more than " + std::to_string(maxRepeat) + " times at index " +
                            std::to_string(k)};
    }
    if (domainFirst >= count || domainLast >= count || !(knots[domainFirst] < knots[domainLast]))
        return {name, "knot domain" + (direction.empty() ? std::string() : " in " + direction) + " is empty"};
    return {};
}

// The shape the curve kernel needs: degree 1 to kMaxCurveDegree, at least degree + 1
// control points and a full knot vector of cvs + degree + 1 entries. The node checks this much before it evaluates a curve.
inline Problem curveShapeProblem(const CurveData& curve) {
    if (curve.degree < 1 || curve.degree > kMaxCurveDegree)
        return {"degree", "degree " + std::to_string(curve.degree) + " is outside 1.." + std::to_string(kMaxCurveDegree)};
    const std::size_t order = static_cast<std::size_t>(curve.degree) + 1;
    if (curve.cvs.size() < order)  // the kernel reads degree + 1 control points at every parameter
        return {"cvs", "expected at least degree + 1 = " + std::to_string(order) + " control points, got " +
                           std::to_string(curve.cvs.size())};
    const std::size_t expected = curve.cvs.size() + static_cast<std::size_t>(curve.degree) + 1;
    if (curve.knots.size() != expected)
        return {"knots", "expected " + std::to_string(expected) + " knots (" + std::to_string(curve.cvs.size()) +
                             " cvs + degree " + std::to_string(curve.degree) + " + 1), got " +
                             std::to_string(curve.knots.size())};
    return {};
}

// The whole rule: the shape, knots as knotProblem asks (no value more than degree + 1
// times, domain [knots[degree], knots[cvs]]), and finite control points.
inline Problem curveProblem(const CurveData& curve) {
    Problem problem = curveShapeProblem(curve);
    if (!problem.ok()) return problem;
    const std::size_t degree = static_cast<std::size_t>(curve.degree);
    problem = knotProblem(curve.knots.data(), curve.knots.size(), degree, curve.cvs.size(), degree + 1, "knots", "");
    if (!problem.ok()) return problem;
    for (std::size_t k = 0; k < curve.cvs.size(); ++k) {
        const KxPoint& cv = curve.cvs[k];
        if (!std::isfinite(cv.x) || !std::isfinite(cv.y) || !std::isfinite(cv.z))
            return {"cvs[" + std::to_string(k) + "]", "not finite"};
    }
    return {};
}

inline bool isFinitePoint(const KxPoint& point) {
    return std::isfinite(point.x) && std::isfinite(point.y) && std::isfinite(point.z);
}

}  // namespace geometry_rules
