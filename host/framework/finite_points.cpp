#include "finite_points.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include <tbb/blocked_range.h>

#include "ForkJoinHints.h"
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

// Runs body(begin, end) over [0, count) in tasks of about kPointsPerTask points.
template <typename Body>
void overPoints(size_t count, const Body& body) {
    fork_join_hints::parallelFor(tbb::blocked_range<size_t>(0, count, kPointsPerTask),
                                 [&](const tbb::blocked_range<size_t>& range) { body(range.begin(), range.end()); });
}

}  // namespace

void copyPoints(const std::vector<KxPoint>& from, std::vector<KxPoint>& to) {
    if (to.size() != from.size()) {
        to = from;
        return;
    }
    const KxPoint* source = from.data();
    KxPoint* target = to.data();
    overPoints(from.size(), [=](size_t begin, size_t end) { std::copy(source + begin, source + end, target + begin); });
}

void refuseNonFinitePoints(const std::vector<KxPoint>& points, const std::string& nodeName) {
    std::atomic<bool> anyFound{false};
    const KxPoint* data = points.data();
    overPoints(points.size(), [&anyFound, data](size_t begin, size_t end) {
        if (anyNonFinite(data, begin, end)) anyFound.store(true, std::memory_order_relaxed);
    });
    const bool found = anyFound.load(std::memory_order_relaxed);
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
