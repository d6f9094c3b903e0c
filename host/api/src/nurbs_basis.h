#pragma once
// B-spline basis functions on a full (textbook) knot vector of cvCount + degree + 1 knots.

#include <vector>

namespace hostapi::nurbs {

// Highest degree the host accepts; fixed scratch arrays are sized from it.
constexpr int kMaxDegree = 15;
constexpr int kMaxOrder = kMaxDegree + 1;

// Host knots (cvCount + degree - 1) with the first and last knot repeated once more.
std::vector<double> fullKnotVector(const std::vector<double>& hostKnots);

// Span s with degree <= s <= cvCount - 1 and knots[s] <= t < knots[s + 1]; at or past the
// domain end, the last non-empty span. t must already lie in the domain.
int findSpan(const double* knots, int degree, int cvCount, double t);

// The degree + 1 non-zero basis values at t: values[j] belongs to control point span - degree + j.
void basisValues(const double* knots, int span, int degree, double t, double* values);

// Basis values and their first and second derivatives: ders[k][j] is the k-th derivative.
void basisDerivatives(const double* knots, int span, int degree, double t, double ders[3][kMaxOrder]);

}  // namespace hostapi::nurbs
