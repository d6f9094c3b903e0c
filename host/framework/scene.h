#pragma once
// A scene: everything one deformer node needs for a run, read from a JSON file.
//
// The reader refuses only what it cannot turn into host values (bad JSON, wrong types,
// missing geometry, inconsistent NURBS sizes, unknown names, scalars outside their
// declared ranges, an unreadable OBJ). Everything else reaches the node unchanged, so the
// node's own checks decide about empty curves, null surfaces or odd array lengths.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <maya/MObject.h>

#include "AttributeSpec.h"
#include "KxTypes.h"
#include "plugin_library.h"

namespace ostrivel {

class DeformerNode;

// One line: "scene.json: field: problem".
class SceneError : public HostError {
public:
    using HostError::HostError;
};

// A per-point array plug's elements: (logical index, value) pairs in the order given.
struct PointArray {
    std::vector<int32_t> indices;
    std::vector<float> values;
};

struct Scene {
    std::string nodeName = "quelvarn1";
    MObject surface;      // null when the scene says null
    MObject surfaceBase;
    CurveData curve;
    CurveData curveBase;
    std::vector<KxPoint> points;
    std::string meshPath;                         // the OBJ the points came from; empty when listed inline
    std::vector<std::vector<int32_t>> meshFaces;  // its faces as 0-based vertex indices, in file order
    std::vector<float> weights;                   // 1.0 per point unless the scene lists them
    float envelope = 1.0f;
    bool cacheAttributes = true;
    std::map<std::string, double> numbers;      // scalar and enum attributes given, by short name
    std::map<std::string, PointArray> arrays;   // per-point attributes given, by short name

    // Points are bound to the surface first unless both parameter arrays were given.
    bool needsBinding() const { return arrays.count("uparams") == 0 || arrays.count("vparams") == 0; }
};

// Reads and checks a scene against the node's declarations; throws SceneError.
Scene readScene(const std::string& path, const std::vector<AttributeSpec>& declarations);

// Stores the scene's geometry and attribute values in the node's plugs. Points and
// weights are not plugs: they travel in the evaluation record.
void applyScene(const Scene& scene, DeformerNode& node);

}  // namespace ostrivel
