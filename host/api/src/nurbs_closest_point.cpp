// Closest point on a NURBS surface: a dense sample grid (several samples in every knot span)
// supplies the seeds, the best few local minima of the sampled distance, and a
// bound-constrained Newton descent refines each of them to full precision.

#include <algorithm>
#include <cmath>
#include <limits>

#include "nurbs_basis.h"
#include "nurbs_descent.h"
#include "nurbs_geometry.h"
#include "nurbs_sampling.h"
#include "nurbs_surface_eval.h"

namespace hostapi {

using nurbs::PreparedSurface;
using nurbs::Vec3;

namespace {

// Local minima of the sampled distance that get refined; far fewer than the grid has.
constexpr int kSeedCount = 6;

// Samples in each knot span and between neighbouring Greville abscissae. A polynomial piece
// of degree p turns about p times; each control polygon leg can carry a bump of its own.
int samplesPerSpan(int degree) { return std::max(2, degree); }
constexpr int kSamplesPerLeg = 6;

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

// The sample grid of one surface and the query against it.
struct Projection {
    explicit Projection(const NurbsSurfaceGeometry& surface);
    SurfaceHit closestPoint(const Vec3& point) const;

    PreparedSurface prepared;
    nurbs::SmoothPieces piecesU, piecesV;
    std::vector<double> samplesU, samplesV;
    std::vector<char> creaseU, creaseV;  // per sample: lies on an interior piece break
    std::vector<Vec3> grid;  // u-major: grid[i * samplesV.size() + j]
};

// Row by row: blend the control rows along u once per u sample, then each v sample needs only
// degreeV + 1 homogeneous points.
Projection::Projection(const NurbsSurfaceGeometry& surface)
    : prepared(surface),
      piecesU(nurbs::smoothPieces(prepared.knotsU, surface.degreeU, surface.cvCountU)),
      piecesV(nurbs::smoothPieces(prepared.knotsV, surface.degreeV, surface.cvCountV)) {
    const NurbsSurfaceGeometry& g = surface;
    const int p = g.degreeU;
    const int q = g.degreeV;
    samplesU = nurbs::sampleParameters(prepared.knotsU, p, g.cvCountU, samplesPerSpan(p), kSamplesPerLeg);
    samplesV = nurbs::sampleParameters(prepared.knotsV, q, g.cvCountV, samplesPerSpan(q), kSamplesPerLeg);

    auto onCrease = [](const std::vector<double>& samples, const nurbs::SmoothPieces& pieces) {
        std::vector<char> flags(samples.size(), 0);
        for (size_t k = 0; k < samples.size(); ++k)
            flags[k] = std::find(pieces.breaks.begin() + 1, pieces.breaks.end() - 1, samples[k]) != pieces.breaks.end() - 1;
        return flags;
    };
    creaseU = onCrease(samplesU, piecesU);
    creaseV = onCrease(samplesV, piecesV);

    const size_t nv = samplesV.size();
    std::vector<int> spansV(nv);
    std::vector<double> basisV(nv * (q + 1));
    for (size_t j = 0; j < nv; ++j) {
        spansV[j] = nurbs::findSpan(prepared.knotsV.data(), q, g.cvCountV, samplesV[j]);
        nurbs::basisValues(prepared.knotsV.data(), spansV[j], q, samplesV[j], &basisV[j * (q + 1)]);
    }

    grid.resize(samplesU.size() * nv);
    std::vector<std::array<double, 4>> row(g.cvCountV);
    double basisU[nurbs::kMaxOrder];
    for (size_t i = 0; i < samplesU.size(); ++i) {
        const int su = nurbs::findSpan(prepared.knotsU.data(), p, g.cvCountU, samplesU[i]);
        nurbs::basisValues(prepared.knotsU.data(), su, p, samplesU[i], basisU);
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
            grid[i * nv + j] = {sum[0] / sum[3], sum[1] / sum[3], sum[2] / sum[3]};
        }
    }
}

SurfaceHit Projection::closestPoint(const Vec3& point) const {
    const size_t nu = samplesU.size();
    const size_t nv = samplesV.size();
    std::vector<double> d2(grid.size());
    for (size_t k = 0; k < grid.size(); ++k) {
        const Vec3 r = sub(grid[k], point);
        d2[k] = dot(r, r);
    }

    // Seeds: grid points no farther than any of their eight neighbours. A crease splits the
    // neighbourhood: a point on it that is lowest towards either side is a seed, because the
    // minimum of that side's piece may sit right on the crease.
    std::vector<std::pair<double, size_t>> seeds;
    for (size_t i = 0; i < nu; ++i) {
        for (size_t j = 0; j < nv; ++j) {
            const double value = d2[i * nv + j];
            bool below[3][3] = {};  // neighbour (i + a - 1, j + b - 1) is strictly closer
            bool anyBelow = false;
            for (size_t a = i > 0 ? i - 1 : 0; a <= std::min(i + 1, nu - 1); ++a)
                for (size_t b = j > 0 ? j - 1 : 0; b <= std::min(j + 1, nv - 1); ++b)
                    if (d2[a * nv + b] < value) anyBelow = below[a + 1 - i][b + 1 - j] = true;
            bool minimum = !anyBelow;
            if (anyBelow && (creaseU[i] || creaseV[j])) {
                auto clear = [&](int a0, int a1, int b0, int b1) {
                    for (int a = a0; a <= a1; ++a)
                        for (int b = b0; b <= b1; ++b)
                            if (below[a][b]) return false;
                    return true;
                };
                for (int side = 0; side < 4 && !minimum; ++side) {
                    const int a0 = creaseU[i] ? (side & 1) : 0, a1 = creaseU[i] ? a0 + 1 : 2;
                    const int b0 = creaseV[j] ? (side >> 1) : 0, b1 = creaseV[j] ? b0 + 1 : 2;
                    minimum = clear(a0, a1, b0, b1);
                }
            }
            if (minimum) seeds.emplace_back(value, i * nv + j);
        }
    }
    if (seeds.empty()) seeds.emplace_back(d2[0], 0);  // only when the distances are NaN
    const size_t count = std::min<size_t>(kSeedCount, seeds.size());
    std::partial_sort(seeds.begin(), seeds.begin() + count, seeds.end());

    nurbs::LocalMinimum best{samplesU[seeds[0].second / nv], samplesV[seeds[0].second % nv], seeds[0].first};
    for (size_t k = 0; k < count; ++k) {
        const double u = samplesU[seeds[k].second / nv];
        const double v = samplesV[seeds[k].second % nv];
        // A seed on a crease starts in each piece that meets there: the minimum of either side
        // may hide behind the crease, where the grid cannot tell them apart.
        const int ku = piecesU.pieceOf(u), kv = piecesV.pieceOf(v);
        const bool creaseU = ku > 0 && u == piecesU.breaks[ku];
        const bool creaseV = kv > 0 && v == piecesV.breaks[kv];
        for (int a = creaseU ? ku - 1 : ku; a <= ku; ++a) {
            for (int b = creaseV ? kv - 1 : kv; b <= kv; ++b) {
                const nurbs::LocalMinimum c = nurbs::descend(prepared, piecesU, piecesV, point, u, v, a, b);
                if (c.d2 < best.d2) best = c;
            }
        }
    }

    SurfaceHit hit;
    hit.u = best.u;
    hit.v = best.v;
    hit.point = nurbs::surfacePoint(prepared, best.u, best.v);
    const Vec3 r = sub(hit.point, point);
    hit.distance = std::sqrt(dot(r, r));
    return hit;
}

SurfaceHit malformedHit() {
    SurfaceHit hit;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    hit.point = {nan, nan, nan};
    hit.distance = std::numeric_limits<double>::infinity();
    return hit;
}

}  // namespace

struct SurfaceProjector::Impl : Projection {
    using Projection::Projection;
};

SurfaceProjector::SurfaceProjector(const NurbsSurfaceGeometry& surface) : surface_(surface) {
    if (validateGeometry(surface_).empty()) impl_ = std::make_unique<Impl>(surface_);
}

SurfaceProjector::~SurfaceProjector() = default;

SurfaceHit SurfaceProjector::closestPoint(const std::array<double, 3>& point) const {
    return impl_ ? impl_->closestPoint(point) : malformedHit();
}

SurfaceHit closestPoint(const NurbsSurfaceGeometry& surface, const std::array<double, 3>& point) {
    if (!validateGeometry(surface).empty()) return malformedHit();
    return Projection(surface).closestPoint(point);
}

}  // namespace hostapi
