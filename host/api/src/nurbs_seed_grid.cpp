#include "nurbs_seed_grid.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "nurbs_basis.h"

namespace hostapi::nurbs {

namespace {

// A polynomial piece of degree p turns up to p - 1 times; a control polygon leg can carry a
// bump of its own. Dense enough that two minima the grid cannot tell apart are all but tied;
// very large surfaces get fewer steps so that a direction keeps to about kSampleBudget samples.
constexpr int kStepsPerLeg = 10;
constexpr int kSampleBudget = 600;
constexpr size_t kBlockSize = 8;  // points per block side
constexpr size_t kGroupSize = 8;  // blocks per group side

void subdivide(double a, double b, int steps, std::vector<double>& out) {
    if (!(a < b)) return;
    for (int k = 0; k < steps; ++k) out.push_back(a + (b - a) * (static_cast<double>(k) / steps));
    out.push_back(b);
}

// Sorted, distinct sample parameters over the domain of one direction (full knot vector).
std::vector<double> sampleParameters(const std::vector<double>& knots, int degree, int cvCount) {
    const double start = knots[degree];
    const double end = knots[cvCount];
    const int spans = cvCount - degree;
    const int perSpan = std::clamp(kSampleBudget / (2 * spans), 1, std::max(2, degree));
    const int perLeg = std::clamp(kSampleBudget / (cvCount - 1), 1, kStepsPerLeg);
    std::vector<double> samples;
    for (int s = degree; s < cvCount; ++s) subdivide(knots[s], knots[s + 1], perSpan, samples);
    // Greville abscissa of control point i: the mean of knots i + 1 .. i + degree. Unclamped
    // knots put some outside the domain; their legs are clipped to it.
    double previous = 0.0;
    for (int i = 0; i < cvCount; ++i) {
        double sum = 0.0;
        for (int k = 1; k <= degree; ++k) sum += knots[i + k];
        const double greville = std::clamp(sum / degree, start, end);
        if (i > 0) subdivide(previous, greville, perLeg, samples);
        previous = greville;
    }
    std::sort(samples.begin(), samples.end());
    samples.erase(std::unique(samples.begin(), samples.end()), samples.end());
    return samples;
}

void grow(Box& box, const Vec3& p) {
    for (int c = 0; c < 3; ++c) {
        box.low[c] = std::min(box.low[c], p[c]);
        box.high[c] = std::max(box.high[c], p[c]);
    }
}

// Squared distance from p to the nearest point of the box.
double boxDistance2(const Box& box, const Vec3& p) {
    double sum = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double gap = std::max(box.low[c] - p[c], p[c] - box.high[c]);
        if (gap > 0.0) sum += gap * gap;
    }
    return sum;
}

// A group or block waiting in the best-first search, keyed by its distance bound.
struct HeapEntry {
    double bound;
    size_t index;
    bool group;
    bool operator>(const HeapEntry& other) const { return bound > other.bound; }
};

std::vector<char> creaseFlags(const std::vector<double>& samples, const SmoothPieces& pieces) {
    std::vector<char> flags(samples.size(), 0);
    const auto first = pieces.breaks.begin() + 1, last = pieces.breaks.end() - 1;
    for (size_t k = 0; k < samples.size(); ++k) flags[k] = std::find(first, last, samples[k]) != last;
    return flags;
}

}  // namespace

// Row by row: blend the control rows along u once per u sample, then each v sample needs only
// degreeV + 1 homogeneous points.
SeedGrid::SeedGrid(const PreparedSurface& surface, const SmoothPieces& piecesU, const SmoothPieces& piecesV) {
    const NurbsSurfaceGeometry& g = *surface.geometry;
    const int p = g.degreeU;
    const int q = g.degreeV;
    samplesU_ = sampleParameters(surface.knotsU, p, g.cvCountU);
    samplesV_ = sampleParameters(surface.knotsV, q, g.cvCountV);
    creaseU_ = creaseFlags(samplesU_, piecesU);
    creaseV_ = creaseFlags(samplesV_, piecesV);

    const size_t nv = samplesV_.size();
    std::vector<int> spansV(nv);
    std::vector<double> basisV(nv * (q + 1));
    for (size_t j = 0; j < nv; ++j) {
        spansV[j] = findSpan(surface.knotsV.data(), q, g.cvCountV, samplesV_[j]);
        basisValues(surface.knotsV.data(), spansV[j], q, samplesV_[j], &basisV[j * (q + 1)]);
    }

    points_.resize(samplesU_.size() * nv);
    std::vector<std::array<double, 4>> row(g.cvCountV);
    double basisU[kMaxOrder];
    for (size_t i = 0; i < samplesU_.size(); ++i) {
        const int su = findSpan(surface.knotsU.data(), p, g.cvCountU, samplesU_[i]);
        basisValues(surface.knotsU.data(), su, p, samplesU_[i], basisU);
        for (int j = 0; j < g.cvCountV; ++j) {
            std::array<double, 4> sum{0.0, 0.0, 0.0, 0.0};
            for (int a = 0; a <= p; ++a) {
                const auto& cv = g.cvs[static_cast<size_t>(su - p + a) * g.cvCountV + j];
                const double w = cv[3];
                sum[0] += basisU[a] * (cv[0] * w);
                sum[1] += basisU[a] * (cv[1] * w);
                sum[2] += basisU[a] * (cv[2] * w);
                sum[3] += basisU[a] * w;
            }
            row[j] = sum;
        }
        for (size_t j = 0; j < nv; ++j) {
            const double* b = &basisV[j * (q + 1)];
            const int first = spansV[j] - q;
            std::array<double, 4> sum{0.0, 0.0, 0.0, 0.0};
            for (int k = 0; k <= q; ++k)
                for (int c = 0; c < 4; ++c) sum[c] += b[k] * row[first + k][c];
            const double w = 1.0 / sum[3];  // seeds need no correctly rounded quotient
            points_[i * nv + j] = {sum[0] * w, sum[1] * w, sum[2] * w};
        }
    }

    auto distance2 = [](const Vec3& a, const Vec3& b) {
        const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
        return dx * dx + dy * dy + dz * dz;
    };
    double cellSize2 = 0.0;
    for (size_t i = 0; i + 1 < samplesU_.size(); ++i) {
        for (size_t j = 0; j + 1 < nv; ++j) {
            const Vec3& p00 = points_[i * nv + j];
            const Vec3& p01 = points_[i * nv + j + 1];
            const Vec3& p10 = points_[(i + 1) * nv + j];
            const Vec3& p11 = points_[(i + 1) * nv + j + 1];
            cellSize2 = std::max({cellSize2, distance2(p00, p01), distance2(p00, p10), distance2(p11, p01),
                                  distance2(p11, p10), distance2(p00, p11), distance2(p01, p10)});
        }
    }
    cellSize_ = std::sqrt(cellSize2);

    const size_t blocksU = (samplesU_.size() + kBlockSize - 1) / kBlockSize;
    const size_t blocksV = (nv + kBlockSize - 1) / kBlockSize;
    for (size_t gi = 0; gi < blocksU; gi += kGroupSize) {
        for (size_t gj = 0; gj < blocksV; gj += kGroupSize) {
            Group group{blocks_.size(), 0, {points_[gi * kBlockSize * nv + gj * kBlockSize], {}}};
            group.box.high = group.box.low;
            for (size_t bi = gi; bi < std::min(gi + kGroupSize, blocksU); ++bi) {
                for (size_t bj = gj; bj < std::min(gj + kGroupSize, blocksV); ++bj) {
                    Block block{bi * kBlockSize, std::min((bi + 1) * kBlockSize, samplesU_.size()), bj * kBlockSize,
                                std::min((bj + 1) * kBlockSize, nv), group.box};
                    block.box.high = block.box.low = points_[block.i0 * nv + block.j0];
                    for (size_t i = block.i0; i < block.i1; ++i)
                        for (size_t j = block.j0; j < block.j1; ++j) grow(block.box, points_[i * nv + j]);
                    grow(group.box, block.box.low);
                    grow(group.box, block.box.high);
                    blocks_.push_back(block);
                }
            }
            group.last = blocks_.size();
            groups_.push_back(group);
        }
    }
}

std::vector<Seed> SeedGrid::seeds(const Vec3& target, size_t maxCount) const {
    const size_t nu = samplesU_.size();
    const size_t nv = samplesV_.size();

    // Squared distances are computed on demand; a stamp per point tells whether this query
    // has computed it yet, so the scratch never needs clearing.
    struct Scratch {
        std::vector<double> d2;
        std::vector<unsigned> stamp;
        unsigned query = 0;
        std::vector<HeapEntry> heap;
    };
    thread_local Scratch scratch;
    Scratch& local = scratch;  // one thread-local lookup, not one per access
    std::vector<double>& d2 = local.d2;
    std::vector<unsigned>& stamp = local.stamp;
    if (stamp.size() < points_.size() || ++local.query == 0) {
        d2.assign(std::max(points_.size(), d2.size()), 0.0);
        stamp.assign(d2.size(), 0u);
        local.query = 1;
    }
    const unsigned query = local.query;
    auto distance2 = [&](size_t i, size_t j) {
        const size_t k = i * nv + j;
        if (stamp[k] != query) {
            const Vec3& p = points_[k];
            const double dx = p[0] - target[0], dy = p[1] - target[1], dz = p[2] - target[2];
            d2[k] = dx * dx + dy * dy + dz * dz;
            stamp[k] = query;
        }
        return d2[k];
    };

    // A grid point is a seed when no neighbour is strictly closer. A crease splits the
    // neighbourhood: a point on it that is lowest towards either side is a seed too, because
    // the minimum of that side's piece may sit right on the crease.
    auto isLocalMinimum = [&](size_t i, size_t j, double value) {
        bool below[3][3] = {};  // neighbour (i + a - 1, j + b - 1) is strictly closer
        bool anyBelow = false;
        for (size_t a = i > 0 ? i - 1 : 0; a <= std::min(i + 1, nu - 1); ++a)
            for (size_t b = j > 0 ? j - 1 : 0; b <= std::min(j + 1, nv - 1); ++b) {
                if (!(distance2(a, b) < value)) continue;
                if (!creaseU_[i] && !creaseV_[j]) return false;
                below[a + 1 - i][b + 1 - j] = anyBelow = true;
            }
        if (!anyBelow) return true;
        for (int side = 0; side < 4; ++side) {
            const int a0 = creaseU_[i] ? (side & 1) : 0, a1 = creaseU_[i] ? a0 + 1 : 2;
            const int b0 = creaseV_[j] ? (side >> 1) : 0, b1 = creaseV_[j] ? b0 + 1 : 2;
            bool clear = true;
            for (int a = a0; a <= a1; ++a)
                for (int b = b0; b <= b1; ++b) clear = clear && !below[a][b];
            if (clear) return true;
        }
        return false;
    };

    // Best-first over groups and blocks, by the distance from the target to their boxes; a
    // popped group pushes its blocks.
    std::vector<HeapEntry>& heap = local.heap;
    heap.clear();
    for (size_t g = 0; g < groups_.size(); ++g) heap.push_back({boxDistance2(groups_[g].box, target), g, true});
    const auto nearestOnTop = std::greater<HeapEntry>();
    std::make_heap(heap.begin(), heap.end(), nearestOnTop);

    // Only grid points within `reach` of the target can stand for the basin of the closest
    // surface point; the reach shrinks as closer grid points turn up.
    double closest2 = std::numeric_limits<double>::infinity();
    double reach2 = closest2;
    std::vector<Seed> found;  // the closest minima so far, sorted
    auto full = [&] { return found.size() >= maxCount; };
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), nearestOnTop);
        const HeapEntry entry = heap.back();
        heap.pop_back();
        if (entry.bound > reach2 || (full() && entry.bound >= found.back().d2)) break;
        if (entry.group) {
            for (size_t b = groups_[entry.index].first; b < groups_[entry.index].last; ++b) {
                heap.push_back({boxDistance2(blocks_[b].box, target), b, false});
                std::push_heap(heap.begin(), heap.end(), nearestOnTop);
            }
            continue;
        }
        const Block& block = blocks_[entry.index];
        for (size_t i = block.i0; i < block.i1; ++i) {
            for (size_t j = block.j0; j < block.j1; ++j) {
                const double value = distance2(i, j);
                if (value < closest2) {
                    closest2 = value;
                    const double reach = std::sqrt(value) + cellSize_;
                    reach2 = reach * reach;
                }
                if (value > reach2 || (full() && !(value < found.back().d2)) || !isLocalMinimum(i, j, value))
                    continue;
                const Seed seed{value, samplesU_[i], samplesV_[j]};
                auto at = std::upper_bound(found.begin(), found.end(), seed,
                                           [](const Seed& x, const Seed& y) { return x.d2 < y.d2; });
                found.insert(at, seed);
                if (found.size() > maxCount) found.pop_back();
            }
        }
    }
    while (!found.empty() && found.back().d2 > reach2) found.pop_back();
    if (found.empty()) found.push_back({distance2(0, 0), samplesU_[0], samplesV_[0]});  // NaN distances only
    return found;
}

}  // namespace hostapi::nurbs
