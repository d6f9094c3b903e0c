#pragma once
// Profile-curve evaluation: one curve point per call, computed by the SIMD build that
// matches the processor (chosen once per process, on the first call).

// Evaluates the non-rational B-spline curve with control points `cvs` (x, y, z doubles
// each), full knot vector `knots` (knotCount = control points + degree + 1 entries) and
// `degree` (1 to 7) at `t`, writing x, y, z into `result`. Parameters outside the
// domain are extrapolated from the end spans. Nothing is checked.
void evalCurve(const double* cvs, const float* knots, int degree, int knotCount, float t, double* result);
