#include "nurbs_descent.h"

#include <algorithm>
#include <cmath>

#include "nurbs_basis.h"

namespace hostapi::nurbs {

namespace {

constexpr int kMaxIterations = 60;
constexpr int kMaxHalvings = 50;
// A step this small relative to the domain means convergence: the next Newton step would be
// below rounding.
constexpr double kConvergedStep = 1e-14;

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

int lastNonEmptySpanBefore(const std::vector<double>& knots, int s) {
    while (!(knots[s] < knots[s + 1])) --s;
    return s;
}

// One piece of each direction: its bounds and the span range whose polynomials it uses.
struct Piece {
    double start, end;
    int firstSpan, lastSpan;
    int spanAt(const std::vector<double>& knots, int degree, int cvCount, double t) const {
        return std::clamp(findSpan(knots.data(), degree, cvCount, t), firstSpan, lastSpan);
    }
};

Piece pieceAt(const SmoothPieces& pieces, int k) {
    return {pieces.breaks[k], pieces.breaks[k + 1], pieces.firstSpan[k], pieces.lastSpan[k]};
}

struct PieceResult {
    double u, v, d2;
    int heldU, heldV;  // -1 held on the piece's start, +1 on its end, 0 free
};

// Projected Newton inside one piece of each direction.
PieceResult descendInPiece(const PreparedSurface& s, const Piece& pu, const Piece& pv, const Vec3& target,
                           double u, double v) {
    const NurbsSurfaceGeometry& g = *s.geometry;
    auto evaluateAt = [&](double a, double b) {
        return surfaceDerivativesInSpans(s, a, b, pu.spanAt(s.knotsU, g.degreeU, g.cvCountU, a),
                                         pv.spanAt(s.knotsV, g.degreeV, g.cvCountV, b));
    };
    auto clampU = [&](double a) { return std::clamp(a, pu.start, pu.end); };
    auto clampV = [&](double b) { return std::clamp(b, pv.start, pv.end); };
    const double rangeU = s.endU - s.startU;
    const double rangeV = s.endV - s.startV;

    u = clampU(u);
    v = clampV(v);
    SurfaceDerivatives d = evaluateAt(u, v);
    Vec3 r = sub(d.point, target);
    double f = dot(r, r);
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        const double gu = dot(d.du, r), gv = dot(d.dv, r);
        // Hold a parameter on its bound while the distance keeps falling outward.
        const bool holdU = (u <= pu.start && gu > 0.0) || (u >= pu.end && gu < 0.0);
        const bool holdV = (v <= pv.start && gv > 0.0) || (v >= pv.end && gv < 0.0);
        if (holdU && holdV) break;  // a corner that satisfies the optimality conditions

        const double guu = dot(d.du, d.du), guv = dot(d.du, d.dv), gvv = dot(d.dv, d.dv);
        const double huu = guu + dot(d.duu, r), huv = guv + dot(d.duv, r), hvv = gvv + dot(d.dvv, r);
        // One-parameter Newton steps, for a held partner or a stalled joint step; where the
        // distance is concave along the parameter, the Gauss-Newton curvature stands in.
        const double curvatureU = huu > 0.0 ? huu : guu, curvatureV = hvv > 0.0 ? hvv : gvv;
        const double aloneU = curvatureU > 0.0 ? -gu / curvatureU : 0.0;
        const double aloneV = curvatureV > 0.0 ? -gv / curvatureV : 0.0;
        double stepU = 0.0;
        double stepV = 0.0;
        if (holdV) {
            stepU = aloneU;
        } else if (holdU) {
            stepV = aloneV;
        } else {
            double a = huu, b = huv, c = hvv;
            if (!(a > 0.0 && c > 0.0 && a * c - b * b > 1e-14 * a * c)) {
                // Not convex here (a far point on the concave side, or a saddle): the
                // Gauss-Newton matrix still gives a descent direction; a little damping covers
                // collapsed parametrisations such as poles.
                const double damping = 1e-12 * (guu + gvv);
                a = guu + damping;
                b = guv;
                c = gvv + damping;
            }
            const double det = a * c - b * b;
            if (det > 0.0) {
                stepU = -(c * gu - b * gv) / det;
                stepV = -(a * gv - b * gu) / det;
            }
        }
        if (!(std::isfinite(stepU) && std::isfinite(stepV)) || (stepU == 0.0 && stepV == 0.0)) break;
        // A parameter whose step is below its last bit (a tiny knot domain far from zero)
        // cannot follow the joint step; the other then solves its own problem alone.
        if (!holdU && !holdV && (u + stepU == u) != (v + stepV == v)) {
            if (u + stepU == u) stepU = 0.0, stepV = aloneV;
            else stepV = 0.0, stepU = aloneU;
        }

        const double gradient2 = (holdU ? 0.0 : gu * gu) + (holdV ? 0.0 : gv * gv);
        double nu = u, nv = v, nf = f;
        SurfaceDerivatives nd;
        Vec3 nr{};
        double t = 1.0;
        auto search = [&](double du, double dv) {
            t = 1.0;
            for (int halving = 0; halving < kMaxHalvings; ++halving, t *= 0.5) {
                nu = clampU(u + t * du);
                nv = clampV(v + t * dv);
                if (nu == u && nv == v) return false;
                nd = evaluateAt(nu, nv);
                nr = sub(nd.point, target);
                nf = dot(nr, nr);
                if (nf < f) return true;
                // Near convergence f sits at rounding level and cannot show progress; a full
                // step that keeps f within rounding and shrinks the gradient is still progress.
                if (t == 1.0 && nf <= f * (1.0 + 1e-12)) {
                    const double ngu = dot(nd.du, nr), ngv = dot(nd.dv, nr);
                    if ((holdU ? 0.0 : ngu * ngu) + (holdV ? 0.0 : ngv * ngv) < gradient2) return true;
                }
            }
            return false;
        };
        bool accepted = search(stepU, stepV);
        // When the joint step stalls, one parameter at a time may still make progress.
        if (!accepted && !holdU && !holdV) accepted = search(0.0, aloneV) || search(aloneU, 0.0);
        if (!accepted) break;
        const double moved = std::max(std::abs(nu - u) / rangeU, std::abs(nv - v) / rangeV);
        u = nu;
        v = nv;
        d = nd;
        r = nr;
        f = nf;
        // Only a full Newton step this small shows convergence; a damped one may just be stuck.
        if (t == 1.0 && moved < kConvergedStep) break;
    }
    const double gu = dot(d.du, r), gv = dot(d.dv, r);
    PieceResult result{u, v, f, 0, 0};
    if (u <= pu.start && gu > 0.0) result.heldU = -1;
    if (u >= pu.end && gu < 0.0) result.heldU = 1;
    if (v <= pv.start && gv > 0.0) result.heldV = -1;
    if (v >= pv.end && gv < 0.0) result.heldV = 1;
    return result;
}

}  // namespace

int SmoothPieces::pieceOf(double t) const {
    int k = 0;
    while (k + 1 < count() && t >= breaks[k + 1]) ++k;
    return k;
}

SmoothPieces smoothPieces(const std::vector<double>& knots, int degree, int cvCount) {
    SmoothPieces pieces;
    const double start = knots[degree];
    const double end = knots[cvCount];
    pieces.breaks.push_back(start);
    pieces.firstSpan.push_back(findSpan(knots.data(), degree, cvCount, start));
    for (int s = degree + 1; s < cvCount; ++s) {
        // s is the first index of a run of equal knots strictly inside the domain.
        if (!(knots[s] > knots[s - 1]) || !(knots[s] < end)) continue;
        int run = 1;
        while (knots[s + run] == knots[s]) ++run;
        if (run < degree) continue;
        pieces.lastSpan.push_back(lastNonEmptySpanBefore(knots, s - 1));
        pieces.breaks.push_back(knots[s]);
        pieces.firstSpan.push_back(s + run - 1);
    }
    pieces.lastSpan.push_back(findSpan(knots.data(), degree, cvCount, end));
    pieces.breaks.push_back(end);
    return pieces;
}

LocalMinimum descend(const PreparedSurface& s, const SmoothPieces& piecesU, const SmoothPieces& piecesV,
                     const Vec3& target, double u, double v, int ku, int kv) {
    PieceResult best = descendInPiece(s, pieceAt(piecesU, ku), pieceAt(piecesV, kv), target, u, v);
    // Held on a crease: carry on in whichever neighbouring piece lowers the distance.
    for (int hop = 0; hop < piecesU.count() + piecesV.count() + 4; ++hop) {
        const int du = (best.heldU < 0 && ku > 0) || (best.heldU > 0 && ku + 1 < piecesU.count()) ? best.heldU : 0;
        const int dv = (best.heldV < 0 && kv > 0) || (best.heldV > 0 && kv + 1 < piecesV.count()) ? best.heldV : 0;
        if (du == 0 && dv == 0) break;
        // Across both creases at once first, then across each alone.
        std::pair<int, int> moves[3] = {{du, dv}, {du, 0}, {0, dv}};
        const int moveCount = (du != 0 && dv != 0) ? 3 : 1;
        bool improved = false;
        for (int m = 0; m < moveCount && !improved; ++m) {
            const auto [mu, mv] = moves[m];
            const PieceResult next =
                descendInPiece(s, pieceAt(piecesU, ku + mu), pieceAt(piecesV, kv + mv), target, best.u, best.v);
            if (next.d2 < best.d2) {
                best = next;
                ku += mu;
                kv += mv;
                improved = true;
            }
        }
        if (!improved) break;
    }
    return {best.u, best.v, best.d2};
}

}  // namespace hostapi::nurbs
