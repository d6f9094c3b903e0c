// The curve kernel body, included inside one build namespace by each
// curve_kernel_<isa>.cpp and compiled with that file's target flags.
//
// Keep this free of standard headers, templates and inline library functions: anything
// with vague linkage would be emitted by every build, and the linker could keep the AVX
// copy for all callers, faulting on older processors. Helpers are static; scratch is
// fixed arrays. The arithmetic is uniform (every lane would hold the same value), so it
// is written scalar and the builds differ only in instruction encoding.

// left, right and N hold at most degree + 1 = 8 entries.
static const unsigned kCurveScratch = 8;

// First span whose end knot exceeds t (strict, single precision), kept within [p, m - 1]
// so that parameters outside the domain extrapolate the end spans. Unsigned on purpose.
static unsigned curveSpan(const float* knots, unsigned p, unsigned m, float t)
{
    unsigned span = p;
    if (m >= 2) {
        span = m - 1;
        for (unsigned k = 1; k < m; ++k) {
            if (knots[k] > t) {
                span = k - 1;
                break;
            }
        }
    }
    return span > p ? span : p;
}

// The p + 1 non-zero basis values at t by the triangular recurrence. Knot differences
// are single-precision and widened; each stored value is rounded back to single.
static void curveBasis(const float* knots, unsigned span, unsigned p, float t, float* N)
{
    double left[kCurveScratch];
    double right[kCurveScratch];
    N[0] = 1.0f;
    for (unsigned j = 1; j <= p; ++j) {
        left[j] = static_cast<double>(t - knots[span + 1 - j]);
        right[j] = static_cast<double>(knots[span + j] - t);
        float saved = 0.0f;
        for (unsigned r = 0; r < j; ++r) {
            const float temp = static_cast<float>(static_cast<double>(N[r]) / (right[r + 1] + left[j - r]));
            N[r] = static_cast<float>(static_cast<double>(saved) + right[r + 1] * static_cast<double>(temp));
            saved = static_cast<float>(left[j - r] * static_cast<double>(temp));
        }
        N[j] = saved;
    }
}

void evalCurve(const double* cvs, const float* knots, int degree, int knotCount, float t, double* result)
{
    const unsigned p = static_cast<unsigned>(degree);
    const unsigned m = static_cast<unsigned>(knotCount) - p - 1u;  // control point count
    const unsigned span = curveSpan(knots, p, m, t);

    float N[kCurveScratch];
    curveBasis(knots, span, p, t, N);

    // Accumulate in double, in basis order, from zero.
    const double* cv = cvs + 3u * (span - p);
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    for (unsigned r = 0; r <= p; ++r) {
        const double w = static_cast<double>(N[r]);
        x += w * cv[3 * r];
        y += w * cv[3 * r + 1];
        z += w * cv[3 * r + 2];
    }
    result[0] = x;
    result[1] = y;
    result[2] = z;
}
