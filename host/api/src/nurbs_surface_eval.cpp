#include "nurbs_surface_eval.h"

#include "nurbs_basis.h"

namespace hostapi::nurbs {


PreparedSurface::PreparedSurface(const NurbsSurfaceGeometry& surface)
    : geometry(&surface),
      knotsU(fullKnotVector(surface.knotsU)),
      knotsV(fullKnotVector(surface.knotsV)) {
    knotDomain(surface, startU, endU, startV, endV);
}

Vec3 surfacePoint(const PreparedSurface& surface, double u, double v) {
    const NurbsSurfaceGeometry& g = *surface.geometry;
    u = surface.clampU(u);
    v = surface.clampV(v);
    const int p = g.degreeU;
    const int q = g.degreeV;
    const int su = findSpan(surface.knotsU.data(), p, g.cvCountU, u);
    const int sv = findSpan(surface.knotsV.data(), q, g.cvCountV, v);
    double nu[kMaxOrder];
    double nv[kMaxOrder];
    basisValues(surface.knotsU.data(), su, p, u, nu);
    basisValues(surface.knotsV.data(), sv, q, v, nv);

    Hom sum{0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i <= p; ++i) {
        const Hom* row = &g.cvs[static_cast<size_t>(su - p + i) * g.cvCountV + (sv - q)];
        Hom column{0.0, 0.0, 0.0, 0.0};
        for (int j = 0; j <= q; ++j) {
            const double w = row[j][3];
            column[0] += nv[j] * (row[j][0] * w);
            column[1] += nv[j] * (row[j][1] * w);
            column[2] += nv[j] * (row[j][2] * w);
            column[3] += nv[j] * w;
        }
        for (int c = 0; c < 4; ++c) sum[c] += nu[i] * column[c];
    }
    return {sum[0] / sum[3], sum[1] / sum[3], sum[2] / sum[3]};
}

// Homogeneous derivatives A(k,l) of (w x, w y, w z, w), then the quotient rule.
SurfaceDerivatives surfaceDerivatives(const PreparedSurface& surface, double u, double v) {
    const NurbsSurfaceGeometry& g = *surface.geometry;
    u = surface.clampU(u);
    v = surface.clampV(v);
    return surfaceDerivativesInSpans(surface, u, v, findSpan(surface.knotsU.data(), g.degreeU, g.cvCountU, u),
                                     findSpan(surface.knotsV.data(), g.degreeV, g.cvCountV, v));
}

SurfaceDerivatives surfaceDerivativesInSpans(const PreparedSurface& surface, double u, double v, int su, int sv) {
    const NurbsSurfaceGeometry& g = *surface.geometry;
    const int p = g.degreeU;
    const int q = g.degreeV;
    double du[3][kMaxOrder];
    double dv[3][kMaxOrder];
    basisDerivatives(surface.knotsU.data(), su, p, u, du);
    basisDerivatives(surface.knotsV.data(), sv, q, v, dv);

    // a[k][l]: k-th u derivative, l-th v derivative, k + l <= 2.
    Hom a[3][3] = {};
    for (int i = 0; i <= p; ++i) {
        const Hom* row = &g.cvs[static_cast<size_t>(su - p + i) * g.cvCountV + (sv - q)];
        Hom t[3] = {};  // v derivatives 0..2 of this row's blend
        for (int j = 0; j <= q; ++j) {
            const double w = row[j][3];
            const Hom pw{row[j][0] * w, row[j][1] * w, row[j][2] * w, w};
            for (int l = 0; l < 3; ++l)
                for (int c = 0; c < 4; ++c) t[l][c] += dv[l][j] * pw[c];
        }
        for (int k = 0; k < 3; ++k)
            for (int l = 0; k + l < 3; ++l)
                for (int c = 0; c < 4; ++c) a[k][l][c] += du[k][i] * t[l][c];
    }

    return rationalDerivatives(a);
}

SurfaceDerivatives rationalDerivatives(const Hom (&a)[3][3]) {
    const double w = a[0][0][3];
    const double wu = a[1][0][3], wv = a[0][1][3];
    const double wuu = a[2][0][3], wuv = a[1][1][3], wvv = a[0][2][3];
    SurfaceDerivatives d;
    for (int c = 0; c < 3; ++c) {
        const double s = a[0][0][c] / w;
        const double su1 = (a[1][0][c] - wu * s) / w;
        const double sv1 = (a[0][1][c] - wv * s) / w;
        d.point[c] = s;
        d.du[c] = su1;
        d.dv[c] = sv1;
        d.duu[c] = (a[2][0][c] - 2.0 * wu * su1 - wuu * s) / w;
        d.duv[c] = (a[1][1][c] - wu * sv1 - wv * su1 - wuv * s) / w;
        d.dvv[c] = (a[0][2][c] - 2.0 * wv * sv1 - wvv * s) / w;
    }
    return d;
}

}  // namespace hostapi::nurbs
