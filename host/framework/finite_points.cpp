#include "finite_points.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/parallel_reduce.h>

#include "GeometryRules.h"
#include "scene_fields.h"

namespace ostrivel {

namespace {

// Points per task: large enough that a task's start is negligible beside streaming its
// coordinates, small enough that every thread gets some of a few hundred thousand points.
const size_t kPointsPerTask = 16384;

// True when some coordinate of points [begin, end) is a NaN or an infinity (all exponent
// bits set), without a branch per coordinate so that the loop vectorises.
bool anyNonFinite(const KxPoint* points, size_t begin, size_t end) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(points);
    const uint64_t exponent = 0x7FF0000000000000ull;
    uint64_t found = 0;
    for (size_t k = 3 * begin; k < 3 * end; ++k) {
        uint64_t bits;
        std::memcpy(&bits, bytes + 8 * k, 8);
        found |= static_cast<uint64_t>((bits & exponent) == exponent);
    }
    return found != 0;
}

}  // namespace

void copyPoints(const std::vector<KxPoint>& from, std::vector<KxPoint>& to) {
    if (to.size() != from.size()) {
        to = from;
        return;
    }
    tbb::parallel_for(tbb::blocked_range<size_t>(0, from.size(), kPointsPerTask),
                      [&](const tbb::blocked_range<size_t>& range) {
                          std::copy(from.begin() + range.begin(), from.begin() + range.end(), to.begin() + range.begin());
                      });
}

void refuseNonFinitePoints(const std::vector<KxPoint>& points, const std::string& nodeName) {
    const bool found = tbb::parallel_reduce(
        tbb::blocked_range<size_t>(0, points.size(), kPointsPerTask), false,
        [&](const tbb::blocked_range<size_t>& range, bool before) {
            return before || anyNonFinite(points.data(), range.begin(), range.end());
        },
        [](bool a, bool b) { return a || b; });
    if (!found) return;
    for (size_t k = 0; k < points.size(); ++k) {
        const KxPoint& p = points[k];
        if (geometry_rules::isFinitePoint(p)) continue;
        throw NonFiniteOutput(nodeName + ": deformed point " + std::to_string(k) + " is not finite (" +
                              fields::formatNumber(p.x) + ", " + fields::formatNumber(p.y) + ", " +
                              fields::formatNumber(p.z) + "); nothing written");
    }
}

}  // namespace ostrivel
