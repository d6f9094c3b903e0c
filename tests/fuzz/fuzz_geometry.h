#pragma once
// Geometry as a careless or hostile host could hand it over: any degree, any knots
// (repeated, decreasing, non-finite), coincident or non-finite control points. Surfaces
// are made without the host's own validation, as objects a host might still hold.

#include <memory>

#include <hostapi/objects.h>

#include "KxTypes.h"
#include "fuzz_input.h"
#include "nurbs_geometry.h"

namespace fuzzing {

// Well formed most of the time, so evaluations get past the node's checks; the rest of
// the time off by one, degenerate or anything at all.
inline CurveData fuzzCurve(FuzzInput& in) {
    const uint32_t mode = in.pick(8);  // 0..5 well formed, 6 sizes off by one, 7 anything
    CurveData curve;
    curve.degree = mode == 7 ? static_cast<int32_t>(in.pick(11)) - 1 : 1 + static_cast<int32_t>(in.pick(7));
    const size_t cvCount = mode == 7 ? in.pick(10) : static_cast<size_t>(curve.degree) + 1 + in.pick(4);
    for (size_t k = 0; k < cvCount; ++k) curve.cvs.push_back({in.number(), in.number(), in.number()});
    size_t knotCount = cvCount + static_cast<size_t>(curve.degree < 0 ? 0 : curve.degree) + 1;
    if (mode == 6) knotCount = in.flag() ? knotCount + 1 : knotCount - 1;
    float knot = 0.0f;
    for (size_t k = 0; k < knotCount; ++k) {
        // Steps of 0 repeat a knot; anything-mode knots may decrease or be non-finite.
        knot = mode == 7 ? in.number32() : knot + static_cast<float>(in.pick(3)) * 0.5f;
        curve.knots.push_back(knot);
    }
    return curve;
}

inline MObject fuzzSurface(FuzzInput& in) {
    const uint32_t mode = in.pick(8);  // 0..5 well formed, 6 degenerate, 7 null or anything
    if (mode == 7 && in.flag()) return MObject();
    hostapi::NurbsSurfaceGeometry g;
    const bool anything = mode == 7;
    g.degreeU = anything ? static_cast<int>(in.pick(12)) - 1 : 1 + static_cast<int>(in.pick(3));
    g.degreeV = anything ? static_cast<int>(in.pick(12)) - 1 : 1 + static_cast<int>(in.pick(3));
    g.cvCountU = anything ? static_cast<int>(in.pick(8)) : g.degreeU + 1 + static_cast<int>(in.pick(3));
    g.cvCountV = anything ? static_cast<int>(in.pick(8)) : g.degreeV + 1 + static_cast<int>(in.pick(3));
    const auto knots = [&](int degree, int cvCount, std::vector<double>& list) {
        const int count = cvCount + degree - 1 + (mode >= 6 ? static_cast<int>(in.pick(3)) - 1 : 0);
        double knot = 0.0;
        for (int k = 0; k < count; ++k) {
            if (anything) knot = in.number();
            else knot += mode == 6 ? in.pick(3) * 0.5 : 0.5 + in.pick(2) * 0.5;  // degenerate: repeats
            list.push_back(knot);
        }
    };
    knots(g.degreeU, g.cvCountU, g.knotsU);
    knots(g.degreeV, g.cvCountV, g.knotsV);
    const int cvs = g.cvCountU * g.cvCountV + (mode >= 6 ? static_cast<int>(in.pick(3)) - 1 : 0);
    for (int k = 0; k < cvs; ++k) {
        if (mode == 6 && in.flag()) {
            g.cvs.push_back({0.0, 0.0, 0.0, 1.0});  // coincident
        } else {
            g.cvs.push_back({in.number(), in.number(), in.number(), anything ? in.number() : 1.0});
        }
    }
    return MObject(std::make_shared<hostapi::NurbsSurfaceObject>(std::make_shared<const hostapi::NurbsSurfaceGeometry>(g)));
}

}  // namespace fuzzing
