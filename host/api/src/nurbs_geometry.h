#pragma once
// The host's own NURBS surface: rational evaluation and a robust closest-point query.
// This is the geometry behind the stand-in MFnNurbsSurface; the plug-in never sees it.

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace hostapi {

struct NurbsSurfaceGeometry {
    int degreeU = 0;
    int degreeV = 0;
    int cvCountU = 0;
    int cvCountV = 0;
    std::vector<double> knotsU;  // host form: cvCountU + degreeU - 1 knots (no end knots)
    std::vector<double> knotsV;  // host form: cvCountV + degreeV - 1 knots
    // u-major: control point (iu, iv) is cvs[iu * cvCountV + iv]; x, y, z, w (w = 1 unless rational)
    std::vector<std::array<double, 4>> cvs;
};

struct SurfaceHit {
    double u = 0.0;
    double v = 0.0;
    std::array<double, 3> point{};
    double distance = 0.0;
};

// Highest degree accepted in either direction.
constexpr int kMaxNurbsDegree = 15;

// Empty string when the geometry is well formed; otherwise what is wrong with it.
// Besides sizes and finite values: degree 1..kMaxNurbsDegree, cvCount >= degree + 1,
// non-decreasing knots with no value repeated more than `degree` times, a non-empty domain
// and positive weights. evaluate and closestPoint expect geometry that passes this.
std::string validateGeometry(const NurbsSurfaceGeometry& surface);

// Knot domain [knots[degree - 1], knots[cvCount - 1]] in host form (zeros for a direction
// whose knot list is too short to hold those entries).
void knotDomain(const NurbsSurfaceGeometry& surface, double& startU, double& endU, double& startV, double& endV);

// Rational surface point at (u, v); parameters outside the domain are clamped to it.
// Malformed geometry gives NaN coordinates.
std::array<double, 3> evaluate(const NurbsSurfaceGeometry& surface, double u, double v);

// The surface point nearest to `point`, over the whole (untrimmed) domain. The search is
// global (dense seeding over every knot span) and refined to full double precision.
// Malformed geometry gives parameters at 0, NaN point and infinite distance. One query
// builds its own seeding grid; for many queries use a SurfaceProjector.
SurfaceHit closestPoint(const NurbsSurfaceGeometry& surface, const std::array<double, 3>& point);

// The same query for many points against one surface: the search tree is built once.
// Keeps its own copy of the surface; closestPoint may run on several threads at once.
class SurfaceProjector {
public:
    explicit SurfaceProjector(const NurbsSurfaceGeometry& surface);
    ~SurfaceProjector();
    SurfaceProjector(const SurfaceProjector&) = delete;
    SurfaceProjector& operator=(const SurfaceProjector&) = delete;

    SurfaceHit closestPoint(const std::array<double, 3>& point) const;

private:
    struct Impl;
    NurbsSurfaceGeometry surface_;
    std::unique_ptr<Impl> impl_;  // null when the surface is malformed
};

}  // namespace hostapi
