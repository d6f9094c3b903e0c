#pragma once
// Function set over a host NURBS surface. Knot lists are in host form (cvCount + degree - 1
// entries); control points come u-major with their rational weight in w.
#include <maya/MDoubleArray.h>
#include <maya/MObject.h>
#include <maya/MPoint.h>
#include <maya/MPointArray.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

class MFnNurbsSurface {
public:
    MFnNurbsSurface() = default;
    explicit MFnNurbsSurface(const MObject& object, MStatus* status = nullptr);
    MStatus setObject(const MObject& object);

    int degreeU(MStatus* status = nullptr) const;
    int degreeV(MStatus* status = nullptr) const;
    int numCVsInU(MStatus* status = nullptr) const;
    int numCVsInV(MStatus* status = nullptr) const;
    MStatus getKnotsInU(MDoubleArray& knots) const;
    MStatus getKnotsInV(MDoubleArray& knots) const;
    MStatus getCVs(MPointArray& cvs, MSpace::Space space = MSpace::kObject) const;
    MStatus getKnotDomain(double& startU, double& endU, double& startV, double& endV) const;
    // The surface point closest to `toThisPoint` and its parameters. The search runs to the
    // host's own precision whatever tolerance is asked for; trims are not modelled.
    MPoint closestPoint(const MPoint& toThisPoint, double* paramU = nullptr, double* paramV = nullptr,
                        bool ignoreTrimBoundaries = false, double tolerance = 1.0e-3,
                        MSpace::Space space = MSpace::kObject, MStatus* status = nullptr) const;

private:
    MObject object_;
};
