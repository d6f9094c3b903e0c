#pragma once
// Scene geometry fields: NURBS surfaces in host form, profile curves and point lists.

#include <string>
#include <vector>

#include <maya/MObject.h>

#include "KxTypes.h"
#include "scene_fields.h"

namespace ostrivel::fields {

// A host surface, or a null object for JSON null. Throws FieldError.
MObject surface(const Json& value, const std::string& field);
CurveData curve(const Json& value, const std::string& field);
// A list of [x, y, z] entries.
std::vector<KxPoint> points(const Json& value, const std::string& field);

}  // namespace ostrivel::fields
