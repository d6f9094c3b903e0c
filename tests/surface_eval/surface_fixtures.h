#pragma once
// Builders shared by the surface tests: host surfaces (through the API stand-in) and
// evaluation records made directly.

#include <array>
#include <memory>
#include <vector>

#include <maya/MObject.h>

#include "nurbs_geometry.h"
#include "hostapi/objects.h"
#include "surface_data.h"

namespace surface_fixtures {

// A double rounded to single precision. Out of line: GCC 12 has folded the round trip away
// where it vectorised neighbouring conversions.
[[gnu::noinline]] inline double roundedToFloat(double x) { return static_cast<double>(static_cast<float>(x)); }

// Host-form clamped knots: degree copies of each end, `interior` in between.
inline std::vector<double> clampedHostKnots(int degree, double start, double end, const std::vector<double>& interior) {
    std::vector<double> knots(static_cast<size_t>(degree), start);
    knots.insert(knots.end(), interior.begin(), interior.end());
    knots.insert(knots.end(), static_cast<size_t>(degree), end);
    return knots;
}

// Control point (iu, iv) of a host surface, stored u-major.
inline std::array<double, 4>& hostCv(hostapi::NurbsSurfaceGeometry& g, int iu, int iv) {
    return g.cvs[static_cast<size_t>(iu) * g.cvCountV + iv];
}

// A host surface object holding `geometry` as it is, skipping the factory's validation, so
// malformed input can reach the reader.
inline MObject rawSurfaceObject(const hostapi::NurbsSurfaceGeometry& geometry) {
    return MObject(std::make_shared<hostapi::NurbsSurfaceObject>(
        std::make_shared<const hostapi::NurbsSurfaceGeometry>(geometry)));
}

// A record filled without the host: clamped-style knot vectors given in full form.
inline SurfaceData makeRecord(int orderU, std::vector<float> knotsU, int orderV, std::vector<float> knotsV,
                              std::vector<KxPoint> vMajorCvs) {
    SurfaceData record;
    record.uDirection.order = orderU;
    record.uDirection.cvCount = static_cast<int32_t>(knotsU.size()) - orderU;
    record.uDirection.knots = std::move(knotsU);
    record.vDirection.order = orderV;
    record.vDirection.cvCount = static_cast<int32_t>(knotsV.size()) - orderV;
    record.vDirection.knots = std::move(knotsV);
    for (SurfaceDirection* d : {&record.uDirection, &record.vDirection}) {
        d->domainStart = d->knots[d->order - 1];
        d->domainEnd = d->knots[d->cvCount];
    }
    record.cvs = std::move(vMajorCvs);
    return record;
}

}  // namespace surface_fixtures
