#include "scene.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "deformer_node.h"
#include "obj_mesh.h"
#include "scene_attributes.h"
#include "scene_fields.h"
#include "scene_geometry.h"

namespace ostrivel {

namespace {

using fields::Json;

Json parseFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw SceneError(path + ": cannot open: " + std::strerror(errno));
    if (std::filesystem::is_directory(path)) throw SceneError(path + ": cannot open: " + std::strerror(EISDIR));
    try {
        return Json::parse(file);
    } catch (const Json::exception& error) {  // bad syntax, and numbers beyond the double range
        // Drop the library's "[json.exception.parse_error.101] " tag; keep the position.
        std::string reason = error.what();
        const size_t tag = reason.find("] ");
        if (tag != std::string::npos) reason.erase(0, tag + 2);
        for (char& c : reason) {
            if (c == '\n' || c == '\r') c = ' ';
        }
        throw SceneError(path + ": not valid JSON: " + reason);
    }
}

// Points listed inline, or the vertices of an OBJ file named relative to the scene.
void readPoints(const Json& value, const std::string& scenePath, Scene& scene) {
    if (!value.is_string()) {
        scene.points = fields::points(value, "points");
        return;
    }
    const std::filesystem::path mesh = value.get<std::string>();
    scene.meshPath = (mesh.is_absolute() ? mesh : std::filesystem::path(scenePath).parent_path() / mesh).string();
    try {
        ObjMesh obj = readObjMesh(scene.meshPath);
        scene.points = std::move(obj.vertices);
        scene.meshFaces = std::move(obj.faces);
    } catch (const HostError& error) {
        throw FieldError("points", error.what());
    }
}

// The record carries one weight per point: a plain list must match the points; a sparse
// map gives some of them, the rest keep 1.0.
void readWeights(const Json& value, Scene& scene) {
    const size_t count = scene.points.size();
    if (value.is_array() && value.size() != count) throw FieldError::countMismatch("weights", value.size(), count);
    const PointArray given = fields::pointArray(value, "weights");
    if (given.indices.size() != given.values.size())
        throw FieldError("weights", std::to_string(given.indices.size()) + " indices but " +
                                        std::to_string(given.values.size()) + " values");
    scene.weights.assign(count, 1.0f);
    for (size_t k = 0; k < given.indices.size(); ++k) {
        const int32_t index = given.indices[k];
        if (index < 0 || static_cast<size_t>(index) >= count)
            throw FieldError(fields::indexed("weights.indices", k),
                             "point " + std::to_string(index) + " is not among the " + std::to_string(count) +
                                 " points");
        scene.weights[static_cast<size_t>(index)] = given.values[k];
    }
}

void readFields(const Json& root, const std::string& path, const std::vector<AttributeSpec>& declarations,
                Scene& scene) {
    fields::refuseUnknownKeys(root,
                              {"node", "surface", "surfaceBase", "curve", "curveBase", "points", "weights", "envelope",
                               "cacheAttributes", "attributes"},
                              "");
    if (const Json* node = fields::find(root, "node")) scene.nodeName = fields::text(*node, "node");

    scene.surface = fields::surface(fields::require(root, "surface", ""), "surface");
    const Json* surfaceBase = fields::find(root, "surfaceBase");
    scene.surfaceBase = surfaceBase ? fields::surface(*surfaceBase, "surfaceBase") : scene.surface;
    scene.curve = fields::curve(fields::require(root, "curve", ""), "curve");
    const Json* curveBase = fields::find(root, "curveBase");
    scene.curveBase = curveBase ? fields::curve(*curveBase, "curveBase") : scene.curve;

    readPoints(fields::require(root, "points", ""), path, scene);
    if (const Json* weights = fields::find(root, "weights")) {
        readWeights(*weights, scene);
    } else {
        scene.weights.assign(scene.points.size(), 1.0f);
    }
    if (const Json* envelope = fields::find(root, "envelope"))
        scene.envelope = fields::floatNumber(*envelope, "envelope");
    if (const Json* cache = fields::find(root, "cacheAttributes"))
        scene.cacheAttributes = fields::boolean(*cache, "cacheAttributes");
    if (const Json* attributes = fields::find(root, "attributes"))
        fields::readAttributes(*attributes, declarations, scene);
}

}  // namespace

Scene readScene(const std::string& path, const std::vector<AttributeSpec>& declarations) {
    const Json root = parseFile(path);
    if (!root.is_object())
        throw SceneError(path + ": expected a JSON object at the top level, got " + root.type_name());
    Scene scene;
    try {
        readFields(root, path, declarations, scene);
    } catch (const FieldError& error) {
        throw SceneError(path + ": " + error.what());
    }
    return scene;
}

void applyScene(const Scene& scene, DeformerNode& node) {
    node.setSurface("surface", scene.surface);
    node.setSurface("surfaceBase", scene.surfaceBase);
    node.setCurve("curve", scene.curve);
    node.setCurve("curveBase", scene.curveBase);
    for (const auto& [shortName, value] : scene.numbers) node.setNumber(shortName, value);
    for (const auto& [shortName, array] : scene.arrays) node.setArray(shortName, array.indices, array.values);
}

}  // namespace ostrivel
