#pragma once
// The node's per-point work done with OpenCASCADE's evaluators, in parallel with TBB: the
// deformation pass ("vector" re-attachment, frame from analytic first derivatives) and
// binding through GeomAPI_ProjectPointOnSurf, one projector per thread.

#include <cstddef>
#include <vector>

#include "peer_scene.h"

namespace peer {

// Deforms `points` (the scene's points on entry) in place; returns how many moved.
size_t deformPoints(const PeerScene& scene, std::vector<KxPoint>& points);

// Each point's closest-point parameters, normalised to the surface's domain as binding
// stores them.
void bindPoints(const PeerScene& scene, std::vector<float>& uparams, std::vector<float>& vparams);

}  // namespace peer
