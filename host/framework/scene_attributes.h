#pragma once
// The scene's "attributes" object: values by short name, checked against the node's
// declarations (types, enum fields, scalar ranges) rather than a fixed list.

#include <vector>

#include "AttributeSpec.h"
#include "scene.h"
#include "scene_fields.h"

namespace ostrivel::fields {

// A per-point list: a plain list (indices 0 to n-1) or a sparse map {"indices", "values"}.
// Index ranges and the lengths of a sparse map's lists are not checked here.
PointArray pointArray(const Json& value, const std::string& field);

// Fills scene.numbers and scene.arrays; throws FieldError. scene.points must be read first:
// a plain list of a map must hold one value per point.
void readAttributes(const Json& value, const std::vector<AttributeSpec>& declarations, Scene& scene);

}  // namespace ostrivel::fields
