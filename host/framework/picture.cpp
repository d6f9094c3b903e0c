#include "picture.h"

#include <algorithm>
#include <any>
#include <cmath>

#include <Imath/ImathMatrix.h>
#include <Imath/ImathVec.h>
#include <maya/MUIDrawManager.h>

#include "GeometryRules.h"
#include "curve_kernel.h"
#include "debug_draw.h"
#include "nurbs_geometry.h"

namespace ostrivel {

namespace {

const MColor kRestColor(0.72f, 0.72f, 0.72f);
const MColor kDeformedColor(0.15f, 0.36f, 0.75f);
const MColor kCurveBaseColor(0.35f, 0.35f, 0.35f);
const MColor kCurveColor(0.93f, 0.49f, 0.08f);
const MColor kLabelColor(0.1f, 0.1f, 0.1f);

// Picture-plane coordinates of a point, and back, for the chosen view.
struct ViewPlane {
    ViewAxis axis;
    double right(const KxPoint& p) const { return axis == ViewAxis::X ? p.y : p.x; }
    double up(const KxPoint& p) const { return axis == ViewAxis::Z ? p.y : p.z; }
    KxPoint at(double r, double u) const {
        switch (axis) {
            case ViewAxis::X: return {0.0, r, u};
            case ViewAxis::Y: return {r, 0.0, u};
            case ViewAxis::Z: break;
        }
        return {r, u, 0.0};
    }
};

struct Bounds {
    double minRight = INFINITY, maxRight = -INFINITY, minUp = INFINITY, maxUp = -INFINITY;
    void add(double r, double u) {
        if (!std::isfinite(r) || !std::isfinite(u)) return;
        minRight = std::min(minRight, r);
        maxRight = std::max(maxRight, r);
        minUp = std::min(minUp, u);
        maxUp = std::max(maxUp, u);
    }
    bool empty() const { return minRight > maxRight; }
    double width() const { return empty() ? 1.0 : std::max(maxRight - minRight, 1e-9); }
    double height() const { return empty() ? 1.0 : std::max(maxUp - minUp, 1e-9); }
};

void drawMesh(MUIDrawManager& draw, const std::vector<KxPoint>& points, const std::vector<std::vector<int32_t>>& faces,
              const MColor& color) {
    draw.setColor(color);
    if (faces.empty()) {
        for (const KxPoint& p : points) draw.point(MPoint(p.x, p.y, p.z));
        return;
    }
    std::vector<KxPoint> loop;
    for (const auto& face : faces) {
        loop.clear();
        for (int32_t index : face) loop.push_back(points[static_cast<size_t>(index)]);
        if (!loop.empty()) loop.push_back(loop.front());
        drawPolyline(draw, loop);
    }
}

// A display frame (unit axes, no homogeneous column) at stored parameters on the host surface.
bool surfaceFrameAt(const hostapi::NurbsSurfaceGeometry& surface, float storedU, float storedV, Imath::M44d& frame) {
    double startU, endU, startV, endV;
    hostapi::knotDomain(surface, startU, endU, startV, endV);
    const double u = storedU * endU + startU, v = storedV * endV + startV;
    const double hu = 1e-3 * (endU - startU), hv = 1e-3 * (endV - startV);
    const auto at = [&](double a, double b) {
        const auto p = hostapi::evaluate(surface, a, b);
        return Imath::V3d(p[0], p[1], p[2]);
    };
    const Imath::V3d origin = at(u, v);
    Imath::V3d tu = at(std::min(u + hu, endU), v) - at(std::max(u - hu, startU), v);
    Imath::V3d tv = at(u, std::min(v + hv, endV)) - at(u, std::max(v - hv, startV));
    Imath::V3d n = tu.cross(tv);
    if (n.length() == 0.0 || !std::isfinite(n.length())) return false;
    tu.normalize();
    n.normalize();
    tv = n.cross(tu);
    frame = Imath::M44d(tu.x, tu.y, tu.z, 0, tv.x, tv.y, tv.z, 0, n.x, n.y, n.z, 0, origin.x, origin.y, origin.z, 1);
    return true;
}

std::vector<KxPoint> curvePolyline(const CurveData& curve) {
    std::vector<KxPoint> line;
    // The kernel's arrays hold degree + 1 <= 8 basis values: only curves that pass the
    // shared rule are drawn.
    if (curve.empty() || !geometry_rules::curveProblem(curve).ok()) return line;
    const float start = curve.knots[static_cast<size_t>(curve.degree)];
    const float end = curve.knots[curve.cvs.size()];
    constexpr int kSamples = 64;
    for (int k = 0; k <= kSamples; ++k) {
        const float t = start + (end - start) * static_cast<float>(k) / kSamples;
        double p[3];
        evalCurve(reinterpret_cast<const double*>(curve.cvs.data()), curve.knots.data(), curve.degree,
                  static_cast<int>(curve.knots.size()), t, p);
        line.push_back({p[0], p[1], p[2]});
    }
    return line;
}

// The profile curves in their own x-y plane, scaled into a panel under the meshes.
void drawProfilePanel(MUIDrawManager& draw, const ViewPlane& view, const Bounds& meshes, const CurveData& base,
                      const CurveData& driver) {
    const std::vector<KxPoint> lines[2] = {curvePolyline(base), curvePolyline(driver)};
    Bounds curves;
    for (const auto& line : lines)
        for (const KxPoint& p : line) curves.add(p.x, p.y);
    if (curves.empty()) return;
    const double panelWidth = meshes.width();
    const double panelHeight = 0.3 * meshes.height();
    const double left = meshes.minRight;
    const double top = meshes.minUp - 0.15 * meshes.height();
    // A plot, not a shape: each direction fills the panel on its own.
    const double scaleX = panelWidth / curves.width();
    const double scaleY = panelHeight / curves.height();
    const auto place = [&](const KxPoint& p) {
        return view.at(left + (p.x - curves.minRight) * scaleX, top - panelHeight + (p.y - curves.minUp) * scaleY);
    };
    const MColor colors[2] = {kCurveBaseColor, kCurveColor};
    for (int k = 0; k < 2; ++k) {
        std::vector<KxPoint> placed;
        for (const KxPoint& p : lines[k]) placed.push_back(place(p));
        draw.setColor(colors[k]);
        drawPolyline(draw, placed);
    }
    draw.setColor(kLabelColor);
    const KxPoint caption = view.at(left, top + 0.04 * meshes.height());
    draw.text(MPoint(caption.x, caption.y, caption.z), MString("profile curves (x across the window, y slides)"));
}

// The per-point attribute with this short name; throws HostError naming the known ones.
const AttributeSpec& perPointDeclaration(const std::vector<AttributeSpec>& declarations, const std::string& shortName) {
    std::string known;
    for (const AttributeSpec& declaration : declarations) {
        if (!declaration.perPoint) continue;
        if (declaration.shortName == shortName) return declaration;
        known += ", " + declaration.shortName;
    }
    throw HostError("--labels: '" + shortName + "' is not a per-point attribute (index" + known + ")");
}

// One value per point of a per-point attribute: its elements, the declared default elsewhere.
std::vector<float> perPointValues(SceneRun& run, const std::string& shortName) {
    const AttributeSpec& spec = perPointDeclaration(run.node().declarations(), shortName);
    const hostapi::PlugValue& value = run.node().plugValue(shortName);
    std::vector<float> dense(run.record().points.size(), static_cast<float>(spec.defaultValue[0]));
    const size_t paired = std::min(value.indices.size(), value.values.size());
    for (size_t k = 0; k < paired; ++k) {
        const int32_t index = value.indices[k];
        if (index >= 0 && static_cast<size_t>(index) < dense.size()) dense[static_cast<size_t>(index)] = value.values[k];
    }
    return dense;
}

}  // namespace

void checkPictureRequest(const std::vector<AttributeSpec>& declarations, const PictureRequest& request) {
    parseViewAxis(request.view);
    if (!request.labels.empty() && request.labels != "index") perPointDeclaration(declarations, request.labels);
}

void writeRunPicture(SceneRun& run, const PictureRequest& request, const std::string& title) {
    if (request.path.empty()) return;
    PictureOptions options;
    options.axis = parseViewAxis(request.view);
    options.labels = request.labels;
    options.title = title;
    writeSvg(request.path, renderRunPicture(run, options));
}

ViewAxis parseViewAxis(const std::string& name) {
    if (name == "x") return ViewAxis::X;
    if (name == "y") return ViewAxis::Y;
    if (name == "z") return ViewAxis::Z;
    throw HostError("--view must be x, y or z, got '" + name + "'");
}

std::string renderRunPicture(SceneRun& run, const PictureOptions& options) {
    const Scene& scene = run.scene();
    const std::vector<KxPoint>& deformed = run.record().points;
    const ViewPlane view{options.axis};
    std::vector<float> labelValues;
    if (!options.labels.empty() && options.labels != "index") labelValues = perPointValues(run, options.labels);

    MUIDrawManager draw;
    drawMesh(draw, scene.points, scene.meshFaces, kRestColor);
    drawMesh(draw, deformed, scene.meshFaces, kDeformedColor);

    Bounds meshes;
    for (const auto* points : {&scene.points, &deformed})
        for (const KxPoint& p : *points) meshes.add(view.right(p), view.up(p));

    // Frames of the driving surface at about a dozen bound points.
    const hostapi::NurbsSurfaceGeometry* surface = hostapi::asNurbsSurface(scene.surface);
    const std::vector<float> us = run.parameters("uparams"), vs = run.parameters("vparams");
    const size_t bound = std::min({us.size(), vs.size(), deformed.size()});
    if (surface && bound > 0) {
        // Golden-ratio steps through the point list spread the sample over rows and columns alike.
        const size_t samples = std::min<size_t>(12, bound);
        const double length = 0.05 * std::max(meshes.width(), meshes.height());
        for (size_t i = 0; i < samples; ++i) {
            const double phase = std::fmod((static_cast<double>(i) + 0.5) * 0.6180339887498949, 1.0);
            const size_t k = std::min(bound - 1, static_cast<size_t>(phase * static_cast<double>(bound)));
            Imath::M44d frame;
            if (surfaceFrameAt(*surface, us[k], vs[k], frame)) drawFrame(draw, frame, length);
        }
    }

    CurveData curve;
    if (const auto* data = std::any_cast<CurveData>(&run.node().plugValue("curve").payload)) curve = *data;
    drawProfilePanel(draw, view, meshes, scene.curveBase, curve);

    if (!options.labels.empty()) {
        // Labelled points are deformed points: they keep that colour; index labels share it.
        draw.setColor(kDeformedColor);
        drawPointLabels(draw, deformed, labelValues.empty() ? nullptr : &labelValues, options.labels == "index",
                        options.labels != "index");
    }

    SvgOptions svg;
    svg.axis = options.axis;
    svg.width = 1000;
    svg.height = 800;
    svg.title = options.title;
    svg.legend = {{kRestColor, "rest mesh"},
                  {kDeformedColor, "deformed mesh"},
                  {kCurveBaseColor, "curveBase"},
                  {kCurveColor, "curve"},
                  {MColor(1, 0, 0), "surface frame u"},
                  {MColor(0, 1, 0), "surface frame v"},
                  {MColor(0, 0, 1), "surface normal"}};
    if (!options.labels.empty()) {
        svg.legend.push_back({options.labels == "index" ? kDeformedColor : MColor(1, 1, 1), "labels: " + options.labels +
                                                                  (options.labels == "index" ? "" : " (shaded 0 to 1)")});
    }
    return renderSvg(draw.recorded(), svg);
}

}  // namespace ostrivel
