#pragma once
// A bench scene as the peer benchmarks use it: read with the host's own scene reader, its
// surfaces and curves turned into OpenCASCADE B-splines, its settings and per-point maps
// resolved to plain values (the node's declared defaults where the scene gives none).

#include <Geom_BSplineCurve.hxx>
#include <Geom_BSplineSurface.hxx>

#include <string>
#include <vector>

#include "KxTypes.h"
#include "scene.h"

namespace peer {

struct PeerScene {
    ostrivel::Scene scene;
    Handle(Geom_BSplineSurface) surface, surfaceBase;
    Handle(Geom_BSplineCurve) curve, curveBase;
    double startU = 0, endU = 0, startV = 0, endV = 0;  // knot domain of the current surface

    // Settings by short name.
    int slidingMethod = 0, paramType = 0;
    double startParam = 0, endParam = 1, pushCoeff = 0, udFactor = 0, lrFactor = 0, lrCenter = 0;

    // Dense per-point values, one entry per point.
    std::vector<float> uparams, vparams;
    std::vector<float> pushMap, umap, dmap, lmap, rmap;
    std::vector<float> upushIn, upushOut, dpushIn, dpushOut, lpushIn, lpushOut, rpushIn, rpushOut;
};

// Throws ostrivel::HostError (SceneError for a refused scene).
PeerScene loadPeerScene(const std::string& scenePath, const std::string& pluginPath);

}  // namespace peer
