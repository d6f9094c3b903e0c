#pragma once
// Random B-spline curves for the kernel tests: cvs as packed x, y, z doubles.
#include <random>
#include <vector>

struct RandomCurve {
    std::vector<double> cvs;
    std::vector<float> knots;
    int degree = 0;

    int knotCount() const { return static_cast<int>(knots.size()); }
    float domainStart() const { return knots[degree]; }
    float domainEnd() const { return knots[knots.size() - 1 - degree]; }
};

// Degree 1..7 with up to 12 extra control points. Clamped curves repeat the end knots
// degree + 1 times and keep interior knots distinct; otherwise the knots are any
// non-decreasing sequence, repeats included.
inline RandomCurve makeRandomCurve(std::mt19937& rng, bool clamped)
{
    std::uniform_int_distribution<int> degreeDist(1, 7);
    std::uniform_int_distribution<int> extraDist(0, 12);
    std::uniform_real_distribution<double> coord(-100.0, 100.0);
    std::uniform_real_distribution<float> step(0.05f, 2.0f);
    std::bernoulli_distribution repeat(0.2);

    RandomCurve c;
    c.degree = degreeDist(rng);
    const int cvCount = c.degree + 1 + extraDist(rng);
    for (int i = 0; i < 3 * cvCount; ++i)
        c.cvs.push_back(coord(rng));

    const int knotCount = cvCount + c.degree + 1;
    float k = std::uniform_real_distribution<float>(-10.0f, 10.0f)(rng);
    for (int i = 0; i < knotCount; ++i) {
        const bool endKnot = i <= c.degree || i >= cvCount;
        if (i > 0 && !(clamped && endKnot && i != cvCount) && (clamped || !repeat(rng)))
            k += step(rng);
        c.knots.push_back(k);
    }
    return c;
}
