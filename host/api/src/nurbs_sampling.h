#pragma once
// Where to sample a surface direction so that every feature of the distance function shows up.

#include <vector>

namespace hostapi::nurbs {

// Sorted, distinct parameters over the domain of one direction (full knot vector): the domain
// ends, every knot inside, `perSpan` even steps in each knot span and `perLeg` even steps
// between consecutive Greville abscissae, so that density follows the control polygon even
// where one long span carries many control points.
std::vector<double> sampleParameters(const std::vector<double>& fullKnots, int degree, int cvCount, int perSpan,
                                     int perLeg);

}  // namespace hostapi::nurbs
