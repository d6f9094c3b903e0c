// Copies a host NURBS surface into the node's evaluation record. Whatever the host hands
// over, nothing is read outside its arrays; a surface the evaluation cannot handle is left
// for isSupportedSurface to refuse.

#include <cstddef>
#include <cstdint>

#include <maya/MDoubleArray.h>
#include <maya/MFnNurbsSurface.h>
#include <maya/MObject.h>
#include <maya/MPointArray.h>

#include "surface_data.h"

namespace {

// Host knots with one knot added at each end, extrapolating the first and last knot steps.
void readKnots(const MDoubleArray& hostKnots, std::vector<float>& knots) {
    const std::size_t m = hostKnots.length();
    knots.resize(m + 2);
    for (std::size_t k = 0; k < m; ++k) knots[k + 1] = static_cast<float>(hostKnots[k]);
    if (m >= 3) {
        knots[0] = static_cast<float>(2.0 * hostKnots[1] - hostKnots[2]);
        knots[m + 1] = static_cast<float>(2.0 * hostKnots[m - 1] - hostKnots[m - 2]);
    } else {
        // Too few knots to extrapolate: repeat the outer knots (or 0) so every entry is defined.
        knots[0] = m > 0 ? knots[1] : 0.0f;
        knots[m + 1] = m > 0 ? knots[m] : 0.0f;
    }
}

// Kept out of line on purpose: when GCC 12 vectorises the three coordinate copies it has
// folded the float round trip away, even with the components stored one by one.
[[gnu::noinline]] double roundedToFloat(double value) {
    return static_cast<double>(static_cast<float>(value));
}

void setDomain(SurfaceDirection& direction) {
    const auto knotAt = [&direction](int32_t index) {
        return index >= 0 && static_cast<std::size_t>(index) < direction.knots.size() ? direction.knots[index]
                                                                                       : 0.0f;
    };
    direction.domainStart = knotAt(direction.order - 1);
    direction.domainEnd = knotAt(direction.cvCount);
}

}  // namespace

void readSurfaceData(const MObject& surface, SurfaceData& record) {
    MFnNurbsSurface fn(surface);
    record.uDirection.order = fn.degreeU() + 1;
    record.vDirection.order = fn.degreeV() + 1;

    MDoubleArray knotsU;
    fn.getKnotsInU(knotsU);
    readKnots(knotsU, record.uDirection.knots);
    MDoubleArray knotsV;
    fn.getKnotsInV(knotsV);
    readKnots(knotsV, record.vDirection.knots);

    MPointArray hostCvs;
    fn.getCVs(hostCvs, MSpace::kObject);
    const std::size_t available = hostCvs.length();
    record.cvs.resize(available);

    // The host stores control points u-major; the record is v-major.
    const int64_t countU = fn.numCVsInU();
    const int64_t countV = fn.numCVsInV();
    std::size_t next = 0;
    for (int64_t j = 0; j < countV && next < available; ++j) {
        for (int64_t i = 0; i < countU && next < available; ++i, ++next) {
            KxPoint& cv = record.cvs[next];
            const std::size_t source = static_cast<std::size_t>(j + countV * i);
            if (source >= available) {
                cv = KxPoint{};
                continue;
            }
            cv.x = roundedToFloat(hostCvs[source].x);
            cv.y = roundedToFloat(hostCvs[source].y);
            cv.z = roundedToFloat(hostCvs[source].z);
        }
    }

    record.uDirection.cvCount = static_cast<int32_t>(countU);
    record.vDirection.cvCount = static_cast<int32_t>(countV);
    setDomain(record.uDirection);
    setDomain(record.vDirection);
}
