#pragma once
// A readable table of a node's attribute declarations.
#include <string>
#include <vector>

#include "AttributeSpec.h"

namespace ostrivel {

// One row per declaration, columns aligned: long name, short name, type, default,
// range, flags, enum fields.
std::string formatAttributeTable(const std::vector<AttributeSpec>& declarations);

const char* attributeTypeName(AttributeType type);

}  // namespace ostrivel
