#pragma once
// The scene's "attributes" object: values by short name, checked against the node's
// declarations (types, enum fields, scalar ranges) rather than a fixed list.

#include <vector>

#include "AttributeSpec.h"
#include "scene.h"
#include "scene_fields.h"

namespace ostrivel::fields {

// Fills scene.numbers and scene.arrays; throws FieldError.
void readAttributes(const Json& value, const std::vector<AttributeSpec>& declarations, Scene& scene);

}  // namespace ostrivel::fields
