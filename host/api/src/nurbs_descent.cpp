#include "nurbs_descent.h"

#include <algorithm>
#include <cmath>

namespace hostapi::nurbs {

namespace {

constexpr int kMaxIterations = 60;
constexpr int kMaxHalvings = 50;
// A step this small relative to the domain means convergence: the next Newton step would be
// below rounding.
constexpr double kConvergedStep = 1e-14;
// A full step of Newton's method proper (positive curvature) this small leaves an error of
// about its square: below rounding too, one evaluation earlier.
constexpr double kConvergedNewtonStep = 1e-8;

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

}  // namespace

LocalMinimum descend(const BezierPatches& patches, const BezierPatch& patch, const ParameterRect& rect,
                     double rangeU, double rangeV, const Vec3& target, double u, double v) {
    auto evaluateAt = [&](double a, double b) { return patches.derivatives(patch, a, b); };
    auto clampU = [&](double a) { return std::clamp(a, rect.u0, rect.u1); };
    auto clampV = [&](double b) { return std::clamp(b, rect.v0, rect.v1); };

    u = clampU(u);
    v = clampV(v);
    SurfaceDerivatives d = evaluateAt(u, v);
    Vec3 r = sub(d.point, target);
    double f = dot(r, r);
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        const double gu = dot(d.du, r), gv = dot(d.dv, r);
        // Hold a parameter on its bound while the distance keeps falling outward.
        const bool holdU = (u <= rect.u0 && gu > 0.0) || (u >= rect.u1 && gu < 0.0);
        const bool holdV = (v <= rect.v0 && gv > 0.0) || (v >= rect.v1 && gv < 0.0);
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
        bool newton = true;  // the step uses the true curvature, so convergence is quadratic
        if (holdV) {
            stepU = aloneU;
            newton = huu > 0.0;
        } else if (holdU) {
            stepV = aloneV;
            newton = hvv > 0.0;
        } else {
            double a = huu, b = huv, c = hvv;
            if (!(a > 0.0 && c > 0.0 && a * c - b * b > 1e-14 * a * c)) {
                // Not convex here (a far point on the concave side, or a saddle): the
                // Gauss-Newton matrix still gives a descent direction; a little damping covers
                // collapsed parametrisations such as poles.
                const double damping = 1e-12 * (guu + gvv);
                newton = false;
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
            if (u + stepU == u) stepU = 0.0, stepV = aloneV, newton = newton && hvv > 0.0;
            else stepV = 0.0, stepU = aloneU, newton = newton && huu > 0.0;
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
        if (!accepted && !holdU && !holdV) {
            newton = false;
            accepted = search(0.0, aloneV) || search(aloneU, 0.0);
        }
        if (!accepted) break;
        const double moved = std::max(std::abs(nu - u) / rangeU, std::abs(nv - v) / rangeV);
        u = nu;
        v = nv;
        d = nd;
        r = nr;
        f = nf;
        // Only a full Newton step this small shows convergence; a damped one may just be stuck.
        if (t == 1.0 && (moved < kConvergedStep || (newton && moved < kConvergedNewtonStep))) break;
    }
    return {u, v, f, d.point};
}

}  // namespace hostapi::nurbs
