#include "peer_scene.h"

#include <BSplCLib.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColStd_Array2OfReal.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <TColgp_Array2OfPnt.hxx>

#include <algorithm>
#include <map>

#include <hostapi/objects.h>

#include "nurbs_geometry.h"
#include "scene_run.h"

namespace peer {

namespace {

// Distinct knots and multiplicities of a full knot sequence.
void splitKnots(const TColStd_Array1OfReal& sequence, Handle(TColStd_HArray1OfReal)& knots,
                Handle(TColStd_HArray1OfInteger)& mults) {
    knots = new TColStd_HArray1OfReal(1, BSplCLib::KnotsLength(sequence));
    mults = new TColStd_HArray1OfInteger(1, knots->Length());
    BSplCLib::Knots(sequence, knots->ChangeArray1(), mults->ChangeArray1());
}

// The host's knots carry no end knots: the full sequence repeats each end once more.
Handle(Geom_BSplineSurface) toSurface(const MObject& object) {
    const hostapi::NurbsSurfaceGeometry* s = hostapi::asNurbsSurface(object);
    if (!s) throw ostrivel::HostError("peer bench: the scene's surface is null");
    TColgp_Array2OfPnt poles(1, s->cvCountU, 1, s->cvCountV);
    TColStd_Array2OfReal weights(1, s->cvCountU, 1, s->cvCountV);
    for (int i = 0; i < s->cvCountU; ++i)
        for (int j = 0; j < s->cvCountV; ++j) {
            const auto& cv = s->cvs[static_cast<size_t>(i) * s->cvCountV + j];
            poles.SetValue(i + 1, j + 1, gp_Pnt(cv[0], cv[1], cv[2]));
            weights.SetValue(i + 1, j + 1, cv[3]);
        }
    Handle(TColStd_HArray1OfReal) knots[2];
    Handle(TColStd_HArray1OfInteger) mults[2];
    for (int d = 0; d < 2; ++d) {
        const std::vector<double>& host = d == 0 ? s->knotsU : s->knotsV;
        const int n = static_cast<int>(host.size());
        TColStd_Array1OfReal sequence(1, n + 2);
        for (int k = 0; k < n + 2; ++k) sequence(k + 1) = host[std::clamp(k - 1, 0, n - 1)];
        splitKnots(sequence, knots[d], mults[d]);
    }
    return new Geom_BSplineSurface(poles, weights, knots[0]->Array1(), knots[1]->Array1(), mults[0]->Array1(),
                                   mults[1]->Array1(), s->degreeU, s->degreeV);
}

Handle(Geom_BSplineCurve) toCurve(const CurveData& c, const char* name) {
    if (c.empty() || c.knots.size() != c.cvs.size() + c.degree + 1)
        throw ostrivel::HostError(std::string("peer bench: the scene's ") + name + " is empty or malformed");
    TColgp_Array1OfPnt poles(1, static_cast<int>(c.cvs.size()));
    for (size_t k = 0; k < c.cvs.size(); ++k) poles.SetValue(static_cast<int>(k) + 1, gp_Pnt(c.cvs[k].x, c.cvs[k].y, c.cvs[k].z));
    TColStd_Array1OfReal sequence(1, static_cast<int>(c.knots.size()));
    for (size_t k = 0; k < c.knots.size(); ++k) sequence(static_cast<int>(k) + 1) = c.knots[k];
    Handle(TColStd_HArray1OfReal) knots;
    Handle(TColStd_HArray1OfInteger) mults;
    splitKnots(sequence, knots, mults);
    return new Geom_BSplineCurve(poles, knots->Array1(), mults->Array1(), c.degree);
}

}  // namespace

PeerScene loadPeerScene(const std::string& scenePath, const std::string& pluginPath) {
    ostrivel::PluginLibrary library(pluginPath);
    const std::vector<AttributeSpec> declarations = ostrivel::declarationsOf(library);
    PeerScene p;
    p.scene = ostrivel::readScene(scenePath, declarations);
    const ostrivel::Scene& s = p.scene;
    p.surface = toSurface(s.surface);
    p.surfaceBase = toSurface(s.surfaceBase);
    p.curve = toCurve(s.curve, "curve");
    p.curveBase = toCurve(s.curveBase, "curveBase");
    p.surface->Bounds(p.startU, p.endU, p.startV, p.endV);

    std::map<std::string, double> defaults;
    for (const AttributeSpec& spec : declarations) defaults[spec.shortName] = spec.defaultValue[0];
    auto number = [&](const char* name) {
        const auto given = s.numbers.find(name);
        return given != s.numbers.end() ? given->second : defaults[name];
    };
    p.slidingMethod = static_cast<int>(number("slidingMethod"));
    p.paramType = static_cast<int>(number("paramType"));
    p.startParam = number("startParam");
    p.endParam = number("endParam");
    p.pushCoeff = number("push_coeff");
    p.udFactor = number("ud_factor");
    p.lrFactor = number("lr_factor");
    p.lrCenter = number("lr_center");

    // A sparse map scattered onto the points, later entries winning, over the node's fill
    // (slide gains 1, pushes 0).
    const size_t count = s.points.size();
    auto dense = [&](const char* name, std::vector<float>& out, float fill = 0.0f) {
        out.assign(count, fill);
        const auto given = s.arrays.find(name);
        if (given == s.arrays.end()) return;
        const auto& a = given->second;
        for (size_t k = 0; k < std::min(a.indices.size(), a.values.size()); ++k)
            if (a.indices[k] >= 0 && static_cast<size_t>(a.indices[k]) < count) out[static_cast<size_t>(a.indices[k])] = a.values[k];
    };
    dense("uparams", p.uparams);
    dense("vparams", p.vparams);
    dense("pushMap", p.pushMap);
    dense("umap", p.umap, 1.0f);
    dense("dmap", p.dmap, 1.0f);
    dense("lmap", p.lmap, 1.0f);
    dense("rmap", p.rmap, 1.0f);
    dense("upushInMap", p.upushIn);
    dense("upushOutMap", p.upushOut);
    dense("dpushInMap", p.dpushIn);
    dense("dpushOutMap", p.dpushOut);
    dense("lpushInMap", p.lpushIn);
    dense("lpushOutMap", p.lpushOut);
    dense("rpushInMap", p.rpushIn);
    dense("rpushOutMap", p.rpushOut);
    return p;
}

}  // namespace peer
