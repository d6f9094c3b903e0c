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

inline CurveData fuzzCurve(FuzzInput& in) {
    CurveData curve;
    curve.degree = static_cast<int32_t>(in.pick(11)) - 1;  // -1 .. 9
    const size_t cvCount = in.pick(10);
    for (size_t k = 0; k < cvCount; ++k) curve.cvs.push_back({in.number(), in.number(), in.number()});
    // Usually the full knot count, sometimes one off either way.
    size_t knotCount = cvCount + static_cast<size_t>(curve.degree < 0 ? 0 : curve.degree) + 1;
    switch (in.pick(4)) {
        case 0: knotCount = knotCount > 0 ? knotCount - 1 : 0; break;
        case 1: ++knotCount; break;
        default: break;
    }
    const bool ordered = in.flag();
    float knot = 0.0f;
    for (size_t k = 0; k < knotCount; ++k) {
        knot = ordered ? knot + static_cast<float>(in.pick(3)) * 0.5f : in.number32();
        curve.knots.push_back(knot);
    }
    return curve;
}

inline MObject fuzzSurface(FuzzInput& in) {
    if (in.pick(8) == 0) return MObject();
    hostapi::NurbsSurfaceGeometry g;
    g.degreeU = static_cast<int>(in.pick(12)) - 1;
    g.degreeV = static_cast<int>(in.pick(12)) - 1;
    g.cvCountU = static_cast<int>(in.pick(8));
    g.cvCountV = static_cast<int>(in.pick(8));
    const auto knots = [&](int degree, int cvCount, std::vector<double>& list) {
        int count = cvCount + degree - 1 + static_cast<int>(in.pick(3)) - 1;
        const bool ordered = in.flag();
        double knot = 0.0;
        for (int k = 0; k < count; ++k) {
            knot = ordered ? knot + in.pick(3) * 0.5 : in.number();
            list.push_back(knot);
        }
    };
    knots(g.degreeU, g.cvCountU, g.knotsU);
    knots(g.degreeV, g.cvCountV, g.knotsV);
    const int cvs = g.cvCountU * g.cvCountV + static_cast<int>(in.pick(3)) - 1;
    for (int k = 0; k < cvs; ++k) {
        if (in.flag()) {
            g.cvs.push_back({0.0, 0.0, 0.0, 1.0});  // coincident
        } else {
            g.cvs.push_back({in.number(), in.number(), in.number(), in.flag() ? 1.0 : in.number()});
        }
    }
    return MObject(std::make_shared<hostapi::NurbsSurfaceObject>(std::make_shared<const hostapi::NurbsSurfaceGeometry>(g)));
}

}  // namespace fuzzing
