#include "nurbs_basis.h"

#include <algorithm>

namespace hostapi::nurbs {

std::vector<double> fullKnotVector(const std::vector<double>& hostKnots) {
    std::vector<double> full;
    if (hostKnots.empty()) return full;
    full.reserve(hostKnots.size() + 2);
    full.push_back(hostKnots.front());
    full.insert(full.end(), hostKnots.begin(), hostKnots.end());
    full.push_back(hostKnots.back());
    return full;
}

int findSpan(const double* knots, int degree, int cvCount, double t) {
    if (t >= knots[cvCount]) {
        // Closed end of the domain: the last span that has length.
        int s = cvCount - 1;
        while (s > degree && !(knots[s] < knots[s + 1])) --s;
        return s;
    }
    if (t <= knots[degree]) {
        int s = degree;
        while (s < cvCount - 1 && !(knots[s] < knots[s + 1])) ++s;
        return s;
    }
    // knots[low] <= t < knots[high] holds throughout.
    int low = degree;
    int high = cvCount;
    while (high - low > 1) {
        const int mid = (low + high) / 2;
        if (t < knots[mid]) high = mid;
        else low = mid;
    }
    return low;
}

void basisValues(const double* knots, int span, int degree, double t, double* values) {
    double left[kMaxOrder];
    double right[kMaxOrder];
    values[0] = 1.0;
    for (int j = 1; j <= degree; ++j) {
        left[j] = t - knots[span + 1 - j];
        right[j] = knots[span + j] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            const double temp = values[r] / (right[r + 1] + left[j - r]);
            values[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        values[j] = saved;
    }
}

// The triangular table of basis values of all degrees up to `degree` (lower triangle: knot
// differences) followed by the usual derivative recurrence.
void basisDerivatives(const double* knots, int span, int degree, double t, double ders[3][kMaxOrder]) {
    double ndu[kMaxOrder][kMaxOrder];
    double left[kMaxOrder];
    double right[kMaxOrder];
    ndu[0][0] = 1.0;
    for (int j = 1; j <= degree; ++j) {
        left[j] = t - knots[span + 1 - j];
        right[j] = knots[span + j] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r) {
            ndu[j][r] = right[r + 1] + left[j - r];
            const double temp = ndu[r][j - 1] / ndu[j][r];
            ndu[r][j] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        ndu[j][j] = saved;
    }
    for (int j = 0; j <= degree; ++j) {
        ders[0][j] = ndu[j][degree];
        ders[1][j] = 0.0;
        ders[2][j] = 0.0;
    }
    const int order = std::min(2, degree);
    double a[2][kMaxOrder];
    for (int r = 0; r <= degree; ++r) {
        int s1 = 0;
        int s2 = 1;
        a[0][0] = 1.0;
        for (int k = 1; k <= order; ++k) {
            double d = 0.0;
            const int rk = r - k;
            const int pk = degree - k;
            if (r >= k) {
                a[s2][0] = a[s1][0] / ndu[pk + 1][rk];
                d = a[s2][0] * ndu[rk][pk];
            }
            const int j1 = rk >= -1 ? 1 : -rk;
            const int j2 = (r - 1 <= pk) ? k - 1 : degree - r;
            for (int j = j1; j <= j2; ++j) {
                a[s2][j] = (a[s1][j] - a[s1][j - 1]) / ndu[pk + 1][rk + j];
                d += a[s2][j] * ndu[rk + j][pk];
            }
            if (r <= pk) {
                a[s2][k] = -a[s1][k - 1] / ndu[pk + 1][r];
                d += a[s2][k] * ndu[r][pk];
            }
            ders[k][r] = d;
            std::swap(s1, s2);
        }
    }
    double factor = degree;
    for (int k = 1; k <= order; ++k) {
        for (int j = 0; j <= degree; ++j) ders[k][j] *= factor;
        factor *= degree - k;
    }
}

}  // namespace hostapi::nurbs
