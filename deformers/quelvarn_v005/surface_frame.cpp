#include "surface_frame.h"

SurfaceFrame surfaceFrame(const SurfaceData& record, double u, double v) {
    SurfaceFrame frame;
    frame.point = evalSurfacePoint(record, static_cast<float>(u), static_cast<float>(v));
    surfaceTangents(record, u, v, frame.tangentU, frame.tangentV);
    const Imath::V3d tangentU(frame.tangentU.x, frame.tangentU.y, frame.tangentU.z);
    const Imath::V3d tangentV(frame.tangentV.x, frame.tangentV.y, frame.tangentV.z);
    frame.normal = tangentU.cross(tangentV);
    frame.normal.normalize();  // a zero vector stays zero; tiny ones are rescaled first
    return frame;
}

Imath::M44d frameMatrix(const SurfaceFrame& frame) {
    const KxPoint& tu = frame.tangentU;
    const KxPoint& tv = frame.tangentV;
    const Imath::V3d& n = frame.normal;
    const KxPoint& p = frame.point;
    return Imath::M44d(tu.x, tu.y, tu.z, 1.0,
                       tv.x, tv.y, tv.z, 1.0,
                       n.x, n.y, n.z, 1.0,
                       p.x, p.y, p.z, 1.0);
}

Imath::M44d restFrameInverse(const SurfaceData& restSurface, float storedU, float storedV) {
    const double u = surfaceParameterU(restSurface, storedU);
    const double v = surfaceParameterV(restSurface, storedV);
    return frameMatrix(surfaceFrame(restSurface, u, v)).inverse();
}
