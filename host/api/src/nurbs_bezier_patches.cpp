#include "nurbs_bezier_patches.h"

#include <algorithm>
#include <cstring>

#include "nurbs_basis.h"

namespace hostapi::nurbs {

namespace {

// The Bezier control points of span s of one direction as combinations of the span's
// degree + 1 B-spline control points: row k is the blossom at (a^(degree - k), b^k), with
// [a, b] the span, evaluated by de Boor's algorithm with one argument per level.
std::vector<double> spanToBezier(const std::vector<double>& knots, int degree, int s) {
    const int n = degree + 1;
    std::vector<double> matrix(static_cast<size_t>(n) * n);
    const double a = knots[s], b = knots[s + 1];
    for (int k = 0; k < n; ++k) {
        for (int m = 0; m < n; ++m) {
            double d[kMaxOrder];
            for (int j = 0; j < n; ++j) d[j] = j == m ? 1.0 : 0.0;  // d[j]: control point s - degree + j
            for (int r = 1; r <= degree; ++r) {
                const double x = r <= degree - k ? a : b;
                for (int j = degree; j >= r; --j) {
                    const int i = s - degree + j;
                    const double alpha = (x - knots[i]) / (knots[i + degree + 1 - r] - knots[i]);
                    d[j] = (1.0 - alpha) * d[j - 1] + alpha * d[j];
                }
            }
            matrix[static_cast<size_t>(k) * n + m] = d[degree];
        }
    }
    return matrix;
}

// Bernstein polynomials of degree n at s with their first and second derivatives.
void bernstein(int n, double s, double b[3][kMaxOrder]) {
    double row[kMaxOrder], level1[kMaxOrder], level2[kMaxOrder];
    row[0] = 1.0;
    if (n == 1) level2[0] = 0.0;
    for (int k = 1; k <= n; ++k) {
        if (k - 1 == n - 2) std::copy(row, row + k, level2);
        if (k - 1 == n - 1) std::copy(row, row + k, level1);
        const double r = 1.0 - s;
        row[k] = s * row[k - 1];
        for (int i = k - 1; i > 0; --i) row[i] = r * row[i] + s * row[i - 1];
        row[0] = r * row[0];
    }
    const double c1 = n, c2 = n * (n - 1.0);
    for (int i = 0; i <= n; ++i) {
        b[0][i] = row[i];
        b[1][i] = c1 * ((i > 0 ? level1[i - 1] : 0.0) - (i < n ? level1[i] : 0.0));
        const double l0 = i >= 2 ? level2[i - 2] : 0.0;
        const double l1 = i >= 1 && i - 1 <= n - 2 ? level2[i - 1] : 0.0;
        const double l2 = i <= n - 2 ? level2[i] : 0.0;
        b[2][i] = c2 * (l0 - 2.0 * l1 + l2);
    }
}

// Four doubles handled as one value: x, y, z and an unused lane, so each step of Horner's
// rule below is one vector operation with the same rounding as three scalar ones.
typedef double Lanes __attribute__((vector_size(32)));

// Loads through a reference: a 32-byte vector never crosses a call boundary by value.
void loadLanes(Lanes& x, const double* p) { std::memcpy(&x, p, sizeof x); }

// Point and derivatives of a polynomial patch of degrees P x Q from its power-basis
// coefficients (per u power, per v power: x, y, z, 0) at local (s, t), by Horner's rule; the
// derivatives are scaled to the surface's parameters.
template <int P, int Q>
SurfaceDerivatives powerDerivatives(const double* coefficients, double s, double t, double scaleU, double scaleV) {
    // Per u power: the row polynomial in t and its first two derivatives.
    Lanes r0[P + 1], r1[P + 1], r2[P + 1];
    for (int i = 0; i <= P; ++i) {
        const double* row = coefficients + 4 * i * (Q + 1);
        Lanes last, k;
        loadLanes(last, row + 4 * Q);
        Lanes v0 = last, v1 = double(Q) * last, v2 = double(Q * (Q - 1)) * last;
        for (int j = Q - 1; j >= 0; --j) {
            loadLanes(k, row + 4 * j);
            v0 = v0 * t + k;
            if (j >= 1) v1 = v1 * t + double(j) * k;
            if (j >= 2) v2 = v2 * t + double(j * (j - 1)) * k;
        }
        r0[i] = v0;
        r1[i] = v1;
        r2[i] = Q >= 2 ? v2 : Lanes{0.0, 0.0, 0.0, 0.0};
    }
    Lanes a00 = r0[P], a10 = double(P) * r0[P], a20 = double(P * (P - 1)) * r0[P];
    Lanes a01 = r1[P], a11 = double(P) * r1[P], a02 = r2[P];
    for (int i = P - 1; i >= 0; --i) {
        a00 = a00 * s + r0[i];
        a01 = a01 * s + r1[i];
        a02 = a02 * s + r2[i];
        if (i >= 1) a10 = a10 * s + double(i) * r0[i], a11 = a11 * s + double(i) * r1[i];
        if (i >= 2) a20 = a20 * s + double(i * (i - 1)) * r0[i];
    }
    if (P < 2) a20 = Lanes{0.0, 0.0, 0.0, 0.0};
    const Lanes du = a10 * scaleU, dv = a01 * scaleV, duu = a20 * (scaleU * scaleU), duv = a11 * (scaleU * scaleV),
                dvv = a02 * (scaleV * scaleV);
    SurfaceDerivatives d;
    for (int c = 0; c < 3; ++c) {
        d.point[c] = a00[c];
        d.du[c] = du[c];
        d.dv[c] = dv[c];
        d.duu[c] = duu[c];
        d.duv[c] = duv[c];
        d.dvv[c] = dvv[c];
    }
    return d;
}

// Polynomial patches of the usual low degrees evaluate in the power basis, which is well
// conditioned on [0, 1] at these degrees.
PatchEvaluator powerEvaluator(int p, int q) {
    static const PatchEvaluator table[3][3] = {
        {powerDerivatives<1, 1>, powerDerivatives<1, 2>, powerDerivatives<1, 3>},
        {powerDerivatives<2, 1>, powerDerivatives<2, 2>, powerDerivatives<2, 3>},
        {powerDerivatives<3, 1>, powerDerivatives<3, 2>, powerDerivatives<3, 3>},
    };
    return p <= 3 && q <= 3 ? table[p - 1][q - 1] : nullptr;
}

// Power coefficients of a Bernstein polynomial of degree n: c_k = C(n, k) sum_i (-1)^(k-i) C(k, i) b_i.
void bernsteinToPower(const double* b, int n, size_t stride, double* out) {
    double binomial[kMaxOrder][kMaxOrder] = {};
    for (int a = 0; a <= n; ++a) {
        binomial[a][0] = 1.0;
        for (int k = 1; k <= a; ++k) binomial[a][k] = binomial[a - 1][k - 1] + (k < a ? binomial[a - 1][k] : 0.0);
    }
    double result[kMaxOrder];
    for (int k = 0; k <= n; ++k) {
        double sum = 0.0;
        for (int i = 0; i <= k; ++i) sum += ((k - i) % 2 ? -1.0 : 1.0) * binomial[k][i] * b[i * stride];
        result[k] = binomial[n][k] * sum;
    }
    for (int k = 0; k <= n; ++k) out[k * stride] = result[k];
}

}  // namespace

void restrictBezier(const Hom* in, int degree, size_t stride, double a, double b, Hom* out) {
    // Control point k of the piece is the blossom at (a^(degree - k), b^k): de Casteljau with
    // one argument per level.
    for (int k = 0; k <= degree; ++k) {
        Hom d[kMaxOrder];
        for (int j = 0; j <= degree; ++j) d[j] = in[j * stride];
        for (int r = 1; r <= degree; ++r) {
            const double x = r <= degree - k ? a : b;
            for (int j = 0; j <= degree - r; ++j)
                for (int c = 0; c < 4; ++c) d[j][c] = (1.0 - x) * d[j][c] + x * d[j + 1][c];
        }
        out[k * stride] = d[0];
    }
}

BezierPatches::BezierPatches(const PreparedSurface& surface) {
    const NurbsSurfaceGeometry& g = *surface.geometry;
    const int p = degreeU = g.degreeU;
    const int q = degreeV = g.degreeV;
    for (const auto& cv : g.cvs) rational = rational || cv[3] != 1.0;

    std::vector<int> spansU, spansV;
    for (int s = p; s < g.cvCountU; ++s)
        if (surface.knotsU[s] < surface.knotsU[s + 1]) spansU.push_back(s);
    for (int s = q; s < g.cvCountV; ++s)
        if (surface.knotsV[s] < surface.knotsV[s + 1]) spansV.push_back(s);

    const size_t size = static_cast<size_t>(p + 1) * (q + 1);
    std::vector<Hom> half(size);  // converted along v only
    for (int su : spansU) {
        const std::vector<double> mu = spanToBezier(surface.knotsU, p, su);
        for (int sv : spansV) {
            const std::vector<double> mv = spanToBezier(surface.knotsV, q, sv);
            for (int i = 0; i <= p; ++i) {
                for (int l = 0; l <= q; ++l) {
                    Hom sum{0.0, 0.0, 0.0, 0.0};
                    for (int n = 0; n <= q; ++n) {
                        const auto& cv = g.cvs[static_cast<size_t>(su - p + i) * g.cvCountV + (sv - q + n)];
                        const double w = cv[3], m = mv[static_cast<size_t>(l) * (q + 1) + n];
                        const Hom pw{cv[0] * w, cv[1] * w, cv[2] * w, w};
                        for (int c = 0; c < 4; ++c) sum[c] += m * pw[c];
                    }
                    half[static_cast<size_t>(i) * (q + 1) + l] = sum;
                }
            }
            const size_t first = cvs.size();
            cvs.resize(first + size);
            for (int k = 0; k <= p; ++k) {
                for (int l = 0; l <= q; ++l) {
                    Hom sum{0.0, 0.0, 0.0, 0.0};
                    for (int m = 0; m <= p; ++m)
                        for (int c = 0; c < 4; ++c)
                            sum[c] += mu[static_cast<size_t>(k) * (p + 1) + m] * half[static_cast<size_t>(m) * (q + 1) + l][c];
                    cvs[first + static_cast<size_t>(k) * (q + 1) + l] = sum;
                }
            }
            patches.push_back({surface.knotsU[su], surface.knotsU[su + 1], surface.knotsV[sv], surface.knotsV[sv + 1], first});
        }
    }
    power_ = rational ? nullptr : powerEvaluator(p, q);
    if (power_) {
        // Per patch and coordinate, the Bernstein coefficients turned into power ones,
        // along u then along v.
        powerCoefficients_.assign(4 * cvs.size(), 0.0);
        const size_t stride = 4 * static_cast<size_t>(q + 1);
        for (const BezierPatch& patch : patches) {
            double* k = &powerCoefficients_[4 * patch.first];
            for (size_t m = 0; m < size; ++m)
                for (int c = 0; c < 3; ++c) k[4 * m + c] = cvs[patch.first + m][c];
            for (int c = 0; c < 3; ++c) {
                for (int j = 0; j <= q; ++j) bernsteinToPower(k + 4 * j + c, p, stride, k + 4 * j + c);
                for (int i = 0; i <= p; ++i) bernsteinToPower(k + i * stride + c, q, 4, k + i * stride + c);
            }
        }
    }
}

SurfaceDerivatives BezierPatches::derivatives(const BezierPatch& patch, double u, double v) const {
    const int p = degreeU, q = degreeV;
    const double scaleU = 1.0 / (patch.u1 - patch.u0), scaleV = 1.0 / (patch.v1 - patch.v0);
    if (power_)
        return power_(&powerCoefficients_[4 * patch.first], (u - patch.u0) * scaleU, (v - patch.v0) * scaleV, scaleU,
                      scaleV);
    double bu[3][kMaxOrder], bv[3][kMaxOrder];
    bernstein(p, (u - patch.u0) * scaleU, bu);
    bernstein(q, (v - patch.v0) * scaleV, bv);
    const Hom* cv = controlPoints(patch);
    SurfaceDerivatives d;
    if (!rational) {
        double a[3][3][3] = {};  // [u derivative][v derivative][coordinate]
        for (int i = 0; i <= p; ++i) {
            const Hom* row = cv + static_cast<size_t>(i) * (q + 1);
            double t[3][3] = {};
            for (int j = 0; j <= q; ++j)
                for (int l = 0; l < 3; ++l)
                    for (int c = 0; c < 3; ++c) t[l][c] += bv[l][j] * row[j][c];
            for (int k = 0; k < 3; ++k)
                for (int l = 0; k + l < 3; ++l)
                    for (int c = 0; c < 3; ++c) a[k][l][c] += bu[k][i] * t[l][c];
        }
        for (int c = 0; c < 3; ++c) {
            d.point[c] = a[0][0][c];
            d.du[c] = a[1][0][c] * scaleU;
            d.dv[c] = a[0][1][c] * scaleV;
            d.duu[c] = a[2][0][c] * (scaleU * scaleU);
            d.duv[c] = a[1][1][c] * (scaleU * scaleV);
            d.dvv[c] = a[0][2][c] * (scaleV * scaleV);
        }
        return d;
    }
    Hom a[3][3] = {};
    for (int i = 0; i <= p; ++i) {
        const Hom* row = cv + static_cast<size_t>(i) * (q + 1);
        Hom t[3] = {};
        for (int j = 0; j <= q; ++j)
            for (int l = 0; l < 3; ++l)
                for (int c = 0; c < 4; ++c) t[l][c] += bv[l][j] * row[j][c];
        for (int k = 0; k < 3; ++k)
            for (int l = 0; k + l < 3; ++l)
                for (int c = 0; c < 4; ++c) a[k][l][c] += bu[k][i] * t[l][c];
    }
    for (int l = 0; l < 3; ++l)
        for (int k = 0; k + l < 3; ++k) {
            double scale = 1.0;
            for (int e = 0; e < k; ++e) scale *= scaleU;
            for (int e = 0; e < l; ++e) scale *= scaleV;
            for (int c = 0; c < 4; ++c) a[k][l][c] *= scale;
        }
    return rationalDerivatives(a);
}

}  // namespace hostapi::nurbs
