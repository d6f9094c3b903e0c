#include "peer_work.h"

#include <GeomAPI_ProjectPointOnSurf.hxx>
#include <gp_Vec.hxx>
#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

namespace peer {

namespace {

// One point of the deformation pass; false when it is left unchanged.
bool deformOne(const PeerScene& p, size_t i, KxPoint& point) {
    const double w = static_cast<double>(p.scene.envelope) * p.scene.weights[i];
    if (p.scene.weights[i] < 1e-5 || w < 1e-5) return false;
    const double u = p.uparams[i] * p.endU + p.startU;
    const double v = p.vparams[i] * p.endV + p.startV;
    const gp_Pnt rest = p.surfaceBase->Value(u, v);

    const double t = p.paramType == 0 ? v / p.endV : u / p.endU;
    double dx = 0.0, dy = 0.0, dz = 0.0;
    if (t > p.startParam && p.endParam > t) {
        const double s = (t - p.startParam) / (p.endParam - p.startParam);
        const gp_Pnt c1 = p.curve->Value(s), c0 = p.curveBase->Value(s);
        dx = c1.X() - c0.X();
        dy = c1.Y() - c0.Y();
        dz = c1.Z() - c0.Z();
        if (p.lrCenter > t) dx = -dx;
    }
    if (std::abs(dx) < 1e-5 && std::abs(dy) < 1e-5 && std::abs(dz) < 1e-5) return false;

    const double mUD = dy > 0 ? p.umap[i] : p.dmap[i];
    const double mLR = dx > 0 ? p.lmap[i] : p.rmap[i];
    double nu, nv;
    if (p.paramType != 0) {
        nv = v - mUD * (p.udFactor * dy);
        nu = u - mLR * (p.lrFactor * dx);
    } else {
        nu = u - mUD * (p.udFactor * dy);
        nv = p.lrCenter > v / p.endV ? v + mLR * (p.lrFactor * dx) : v - mLR * (p.lrFactor * dx);
    }
    nu = std::clamp(nu, p.startU, p.endU);
    nv = std::clamp(nv, p.startV, p.endV);

    gp_Pnt q;
    gp_Vec du, dv;
    p.surface->D1(nu, nv, q, du, dv);
    gp_Vec n = du.Crossed(dv);
    const double length = n.Magnitude();
    if (length > 0.0) n /= length;

    const double deltaUD = dy > 0 ? p.upushOut[i] - p.upushIn[i] : p.dpushOut[i] - p.dpushIn[i];
    const double deltaLR = dx > 0 ? p.lpushOut[i] - p.lpushIn[i] : p.rpushOut[i] - p.rpushIn[i];
    const double push = (std::abs(dy) * deltaUD + std::abs(dx) * deltaLR + dz * p.pushMap[i]) * p.pushCoeff;
    // "vector": keep the point's offset from its rest surface point; then blend.
    const double target[3] = {q.X() + n.X() * push - (rest.X() - point.x), q.Y() + n.Y() * push - (rest.Y() - point.y),
                              q.Z() + n.Z() * push - (rest.Z() - point.z)};
    point.x = (1.0 - w) * point.x + w * target[0];
    point.y = (1.0 - w) * point.y + w * target[1];
    point.z = (1.0 - w) * point.z + w * target[2];
    return true;
}

}  // namespace

size_t deformPoints(const PeerScene& scene, std::vector<KxPoint>& points) {
    std::atomic<size_t> moved{0};
    tbb::parallel_for(tbb::blocked_range<size_t>(0, points.size()), [&](const tbb::blocked_range<size_t>& range) {
        size_t local = 0;
        for (size_t i = range.begin(); i != range.end(); ++i) local += deformOne(scene, i, points[i]) ? 1 : 0;
        moved += local;
    });
    return moved;
}

void bindPoints(const PeerScene& scene, std::vector<float>& uparams, std::vector<float>& vparams) {
    const std::vector<KxPoint>& points = scene.scene.points;
    uparams.assign(points.size(), 0.0f);
    vparams.assign(points.size(), 0.0f);
    tbb::enumerable_thread_specific<std::unique_ptr<GeomAPI_ProjectPointOnSurf>> projectors;
    tbb::parallel_for(tbb::blocked_range<size_t>(0, points.size()), [&](const tbb::blocked_range<size_t>& range) {
        std::unique_ptr<GeomAPI_ProjectPointOnSurf>& mine = projectors.local();
        if (!mine) {
            mine = std::make_unique<GeomAPI_ProjectPointOnSurf>();
            mine->Init(scene.surface, scene.startU, scene.endU, scene.startV, scene.endV);
        }
        GeomAPI_ProjectPointOnSurf& projector = *mine;
        for (size_t i = range.begin(); i != range.end(); ++i) {
            projector.Perform(gp_Pnt(points[i].x, points[i].y, points[i].z));
            double u = scene.startU, v = scene.startV;
            if (projector.IsDone() && projector.NbPoints() > 0) projector.LowerDistanceParameters(u, v);
            uparams[i] = static_cast<float>(std::clamp(u / scene.endU, 0.0, 1.0));
            vparams[i] = static_cast<float>(std::clamp(v / scene.endV, 0.0, 1.0));
        }
    });
}

}  // namespace peer
