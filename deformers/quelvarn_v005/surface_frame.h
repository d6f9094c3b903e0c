#pragma once
// The surface frame at a point: two tangent chords, the unit normal and the surface
// point, as the rows of a 4 x 4 matrix whose fourth column is all ones. Points are row
// vectors carried through it (or its inverse) with the homogeneous divide.

#include <Imath/ImathMatrix.h>
#include <Imath/ImathVec.h>

#include "surface_data.h"

struct SurfaceFrame {
    KxPoint point;
    KxPoint tangentU;
    KxPoint tangentV;
    Imath::V3d normal;
};

// Stored parameters (normalised to the domain) to surface parameters of `record`:
// s * domainEnd + domainStart in single precision, widened.
inline double surfaceParameterU(const SurfaceData& record, float stored) {
    return static_cast<double>(stored * record.uDirection.domainEnd + record.uDirection.domainStart);
}
inline double surfaceParameterV(const SurfaceData& record, float stored) {
    return static_cast<double>(stored * record.vDirection.domainEnd + record.vDirection.domainStart);
}

SurfaceFrame surfaceFrame(const SurfaceData& record, double u, double v);

// The FrameMatrix with rows tangentU, tangentV, normal, point and a fourth column of ones.
Imath::M44d frameMatrix(const SurfaceFrame& frame);

// The inverse of the frame matrix at stored parameters on the rest surface. The fourth
// column is never (0, 0, 0, 1), so this is always the Gauss-Jordan inverse; a singular
// frame gives the identity.
Imath::M44d restFrameInverse(const SurfaceData& restSurface, float storedU, float storedV);
