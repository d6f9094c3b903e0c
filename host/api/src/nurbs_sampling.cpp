#include "nurbs_sampling.h"

#include <algorithm>

namespace hostapi::nurbs {

namespace {

void subdivide(double a, double b, int steps, std::vector<double>& out) {
    if (!(a < b)) return;
    for (int k = 0; k < steps; ++k) out.push_back(a + (b - a) * (static_cast<double>(k) / steps));
    out.push_back(b);
}

}  // namespace

std::vector<double> sampleParameters(const std::vector<double>& knots, int degree, int cvCount, int perSpan,
                                     int perLeg) {
    const double start = knots[degree];
    const double end = knots[cvCount];
    std::vector<double> samples;
    for (int s = degree; s < cvCount; ++s) subdivide(knots[s], knots[s + 1], perSpan, samples);

    // Greville abscissa of control point i: the mean of knots i + 1 .. i + degree. Unclamped
    // knots put some outside the domain; those legs are clipped to it.
    double previous = 0.0;
    for (int i = 0; i < cvCount; ++i) {
        double sum = 0.0;
        for (int k = 1; k <= degree; ++k) sum += knots[i + k];
        const double greville = std::clamp(sum / degree, start, end);
        if (i > 0) subdivide(previous, greville, perLeg, samples);
        previous = greville;
    }

    samples.push_back(start);
    samples.push_back(end);
    std::sort(samples.begin(), samples.end());
    samples.erase(std::unique(samples.begin(), samples.end()), samples.end());
    return samples;
}

}  // namespace hostapi::nurbs
