#pragma once
// A homogeneous host point; w is 1 unless a rational control point says otherwise.
class MPoint {
public:
    MPoint() = default;
    MPoint(double xIn, double yIn, double zIn, double wIn = 1.0) : x(xIn), y(yIn), z(zIn), w(wIn) {}
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double w = 1.0;
};
