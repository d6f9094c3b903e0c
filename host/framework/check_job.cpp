#include "check_job.h"

#include <fstream>
#include <optional>

#include <hostapi/objects.h>
#include <nlohmann/json.hpp>

#include "animate_job.h"
#include "bind_job.h"
#include "nurbs_geometry.h"
#include "scene.h"
#include "scene_fields.h"
#include "scene_run.h"

namespace ostrivel {

namespace {

using Json = nlohmann::ordered_json;

Json surfaceSummary(const MObject& surface) {
    const hostapi::NurbsSurfaceGeometry* geometry = hostapi::asNurbsSurface(surface);
    if (!geometry) return nullptr;
    double startU = 0, endU = 0, startV = 0, endV = 0;
    hostapi::knotDomain(*geometry, startU, endU, startV, endV);
    return {{"degreeU", geometry->degreeU}, {"degreeV", geometry->degreeV}, {"cvCountU", geometry->cvCountU},
            {"cvCountV", geometry->cvCountV}, {"domainU", {startU, endU}}, {"domainV", {startV, endV}}};
}

Json curveSummary(const CurveData& curve) {
    Json summary = {{"degree", curve.degree}, {"cvs", curve.cvs.size()}};
    if (!curve.empty()) {
        const size_t first = static_cast<size_t>(curve.degree), last = curve.cvs.size();
        if (last < curve.knots.size()) summary["domain"] = {curve.knots[first], curve.knots[last]};
    }
    return summary;
}

// How a per-point value was written: its form and size, as the user would look for it.
std::string form(const Json& value) {
    if (value.is_array()) return "plain list of " + std::to_string(value.size());
    const auto indices = value.find("indices");
    return "sparse map of " + std::to_string(indices == value.end() ? 0 : indices->size());
}

Json sceneSummary(const Scene& scene, const Json& file) {
    Json summary;
    summary["node"] = scene.nodeName;
    summary["points"] = scene.points.size();
    summary["pointsFrom"] = scene.meshPath.empty() ? Json("inline") : Json(scene.meshPath);
    summary["faces"] = scene.meshFaces.size();
    summary["surface"] = surfaceSummary(scene.surface);
    summary["surfaceBase"] = file.contains("surfaceBase") ? surfaceSummary(scene.surfaceBase) : Json("surface");
    summary["curve"] = curveSummary(scene.curve);
    summary["curveBase"] = file.contains("curveBase") ? curveSummary(scene.curveBase) : Json("curve");
    summary["weights"] = file.contains("weights") ? form(file["weights"]) : "1.0 per point";
    summary["envelope"] = scene.envelope;
    summary["cacheAttributes"] = scene.cacheAttributes;
    Json attributes = Json::object(), maps = Json::object();
    if (file.contains("attributes")) {
        for (const auto& item : file["attributes"].items()) {
            const bool perPoint = item.value().is_array() || item.value().is_object();
            (perPoint ? maps : attributes)[item.key()] = perPoint ? Json(form(item.value())) : item.value();
        }
    }
    summary["attributes"] = attributes;
    summary["maps"] = maps;
    summary["bound"] = !scene.needsBinding();
    return summary;
}

// What the commands refuse beyond the reader, without evaluating anything.
std::vector<std::string> hostProblems(const Scene& scene, const std::string& scenePath) {
    std::vector<std::string> problems;
    if (scene.surface.isNull()) problems.push_back(nullSurfaceRefusal(scenePath));  // bind
    try {
        curveAtFrame(scene.curveBase, scene.curve, 1, 2);  // animate
    } catch (const HostError& error) {
        problems.push_back(error.what());
    }
    return problems;
}

std::string number(const Json& value) { return fields::formatNumber(value.get<double>()); }

std::string domain(const Json& range) { return "[" + number(range[0]) + ", " + number(range[1]) + "]"; }

std::string surfaceLine(const Json& surface) {
    if (surface.is_string()) return "the same as " + surface.get<std::string>();
    if (surface.is_null()) return "null";
    return "degree " + surface["degreeU"].dump() + " x " + surface["degreeV"].dump() + ", " +
           surface["cvCountU"].dump() + " x " + surface["cvCountV"].dump() + " control points, knot domain u " +
           domain(surface["domainU"]) + ", v " + domain(surface["domainV"]);
}

std::string curveLine(const Json& curve) {
    if (curve.is_string()) return "the same as " + curve.get<std::string>();
    if (curve["cvs"] == 0) return "empty";
    return "degree " + curve["degree"].dump() + ", " + curve["cvs"].dump() + " control points" +
           (curve.contains("domain") ? ", knot domain " + domain(curve["domain"]) : "");
}

// "name value, name value", or what holds when none is given.
std::string attributeList(const Json& attributes, const char* none) {
    std::string list;
    for (const auto& item : attributes.items()) {
        const Json& value = item.value();
        list += (list.empty() ? "" : ", ") + item.key() + " " +
                (value.is_string() ? value.get<std::string>() : value.is_number() ? number(value) : value.dump());
    }
    return list.empty() ? none : list;
}

void printLines(const std::string& path, const Json& s, std::ostream& out) {
    const std::string from = s["pointsFrom"] == "inline" ? "listed inline"
                                                         : "from " + s["pointsFrom"].get<std::string>() + ", " +
                                                               s["faces"].dump() + " faces";
    out << path << ": node " << s["node"].get<std::string>() << "\n"
        << "  points       " << s["points"] << " (" << from << ")\n"
        << "  surface      " << surfaceLine(s["surface"]) << "\n"
        << "  surfaceBase  " << surfaceLine(s["surfaceBase"]) << "\n"
        << "  curve        " << curveLine(s["curve"]) << "\n"
        << "  curveBase    " << curveLine(s["curveBase"]) << "\n"
        << "  weights      " << s["weights"].get<std::string>() << "\n"
        << "  envelope     " << number(s["envelope"]) << ", cacheAttributes " << s["cacheAttributes"] << "\n"
        << "  attributes   " << attributeList(s["attributes"], "none given (declared defaults)") << "\n"
        << "  maps         " << attributeList(s["maps"], "none given");
    out << "\n  bound        "
        << (s["bound"].get<bool>() ? "yes (uparams and vparams given)" : "no (every run binds the points first)")
        << "\n";
}

}  // namespace

int runCheck(const CheckJob& job, std::ostream& out, std::ostream& errors) {
    auto library = std::make_shared<PluginLibrary>(job.pluginPath);
    const std::vector<AttributeSpec> declarations = declarationsOf(*library);
    std::optional<Scene> scene;
    std::vector<std::string> problems;
    try {
        scene = readScene(job.scenePath, declarations);
        problems = hostProblems(*scene, job.scenePath);
    } catch (const SceneError& error) {
        problems.push_back(error.what());
    }
    Json report = {{"scene", job.scenePath}};
    if (scene) {
        std::ifstream file(job.scenePath);  // the reader took it: forms are read from the text as written
        const Json summary = sceneSummary(*scene, Json::parse(file));
        if (job.json) {
            for (const auto& item : summary.items()) report[item.key()] = item.value();
        } else {
            printLines(job.scenePath, summary, out);
        }
    }
    for (const std::string& problem : problems) errors << "ostrivel: error: " << problem << "\n";
    if (job.json) {
        report["problems"] = problems;
        out << report.dump() << "\n";
    } else if (scene) {
        out << "  problems     " << (problems.empty() ? "none" : std::to_string(problems.size())) << "\n";
    }
    return problems.empty() ? 0 : 2;
}

}  // namespace ostrivel
