#include <maya/MFnNurbsSurface.h>

#include "hostapi/objects.h"
#include "nurbs_geometry.h"

using hostapi::NurbsSurfaceGeometry;

namespace {
const NurbsSurfaceGeometry* geometryOf(const MObject& object, MStatus* status) {
    const NurbsSurfaceGeometry* geometry = hostapi::asNurbsSurface(object);
    if (status) *status = geometry ? MStatus::kSuccess : MStatus::kInvalidParameter;
    return geometry;
}

void copyKnots(const std::vector<double>& knots, MDoubleArray& out) {
    out.setLength(static_cast<unsigned int>(knots.size()));
    for (size_t k = 0; k < knots.size(); ++k) out[static_cast<unsigned int>(k)] = knots[k];
}
}  // namespace

MFnNurbsSurface::MFnNurbsSurface(const MObject& object, MStatus* status) {
    const MStatus result = setObject(object);
    if (status) *status = result;
}

MStatus MFnNurbsSurface::setObject(const MObject& object) {
    object_ = object;
    return hostapi::asNurbsSurface(object) ? MStatus::kSuccess : MStatus::kInvalidParameter;
}

int MFnNurbsSurface::degreeU(MStatus* status) const {
    const NurbsSurfaceGeometry* g = geometryOf(object_, status);
    return g ? g->degreeU : 0;
}

int MFnNurbsSurface::degreeV(MStatus* status) const {
    const NurbsSurfaceGeometry* g = geometryOf(object_, status);
    return g ? g->degreeV : 0;
}

int MFnNurbsSurface::numCVsInU(MStatus* status) const {
    const NurbsSurfaceGeometry* g = geometryOf(object_, status);
    return g ? g->cvCountU : 0;
}

int MFnNurbsSurface::numCVsInV(MStatus* status) const {
    const NurbsSurfaceGeometry* g = geometryOf(object_, status);
    return g ? g->cvCountV : 0;
}

MStatus MFnNurbsSurface::getKnotsInU(MDoubleArray& knots) const {
    MStatus status;
    const NurbsSurfaceGeometry* g = geometryOf(object_, &status);
    copyKnots(g ? g->knotsU : std::vector<double>{}, knots);
    return status;
}

MStatus MFnNurbsSurface::getKnotsInV(MDoubleArray& knots) const {
    MStatus status;
    const NurbsSurfaceGeometry* g = geometryOf(object_, &status);
    copyKnots(g ? g->knotsV : std::vector<double>{}, knots);
    return status;
}

// Only object space exists in the stand-in: surfaces carry no transform.
MStatus MFnNurbsSurface::getCVs(MPointArray& cvs, MSpace::Space) const {
    MStatus status;
    const NurbsSurfaceGeometry* g = geometryOf(object_, &status);
    cvs.setLength(g ? static_cast<unsigned int>(g->cvs.size()) : 0u);
    if (!g) return status;
    for (size_t k = 0; k < g->cvs.size(); ++k) {
        const auto& cv = g->cvs[k];
        cvs[static_cast<unsigned int>(k)] = MPoint(cv[0], cv[1], cv[2], cv[3]);
    }
    return status;
}

MStatus MFnNurbsSurface::getKnotDomain(double& startU, double& endU, double& startV, double& endV) const {
    MStatus status;
    const NurbsSurfaceGeometry* g = geometryOf(object_, &status);
    if (!g) {
        startU = endU = startV = endV = 0.0;
        return status;
    }
    hostapi::knotDomain(*g, startU, endU, startV, endV);
    return status;
}

// Binding calls this once per point: the surface object is looked up once per call.
MPoint MFnNurbsSurface::closestPoint(const MPoint& toThisPoint, double* paramU, double* paramV, bool, double,
                                     MSpace::Space, MStatus* status) const {
    const hostapi::NurbsSurfaceObject* surface = hostapi::asNurbsSurfaceObject(object_);
    if (status) *status = surface ? MStatus::kSuccess : MStatus::kInvalidParameter;
    if (!surface) {
        if (paramU) *paramU = 0.0;
        if (paramV) *paramV = 0.0;
        return MPoint();
    }
    const double w = toThisPoint.w != 0.0 ? toThisPoint.w : 1.0;
    const hostapi::SurfaceHit hit =
        surface->projector().closestPoint({toThisPoint.x / w, toThisPoint.y / w, toThisPoint.z / w});
    if (paramU) *paramU = hit.u;
    if (paramV) *paramV = hit.v;
    return MPoint(hit.point[0], hit.point[1], hit.point[2]);
}
