#include "scene_attributes.h"

#include <limits>

namespace ostrivel::fields {

namespace {

const AttributeSpec* declared(const std::vector<AttributeSpec>& declarations, const std::string& shortName) {
    for (const AttributeSpec& spec : declarations) {
        if (spec.shortName == shortName) return &spec;
    }
    return nullptr;
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (size_t k = 0; k < names.size(); ++k) {
        if (k > 0) text += k + 1 == names.size() ? " or " : ", ";
        text += names[k];
    }
    return text;
}

// An enum is given by field name or by field value; numbers are not range-checked.
double enumValue(const AttributeSpec& spec, const Json& value, const std::string& field) {
    if (value.is_string()) {
        const std::string name = value.get<std::string>();
        for (size_t k = 0; k < spec.enumFields.size(); ++k) {
            if (spec.enumFields[k] == name) return static_cast<double>(k);
        }
        throw FieldError(field, "unknown value '" + name + "' (expected " + listed(spec.enumFields) + ")");
    }
    if (!value.is_number())
        throw FieldError(field, "expected " + listed(spec.enumFields) + " or a field number, got " + value.type_name());
    return static_cast<double>(wholeNumber(value, field, std::numeric_limits<int32_t>::min(),
                                           std::numeric_limits<int32_t>::max()));
}

double scalarValue(const AttributeSpec& spec, const Json& value, const std::string& field) {
    floatNumber(value, field);  // refuses what no float can hold
    const double number = fields::number(value, field);  // ranges are checked on the value as written
    const bool below = spec.hasMin && number < spec.minValue[0];
    const bool above = spec.hasMax && number > spec.maxValue[0];
    if (!below && !above) return number;
    const std::string given = formatNumber(number);
    if (spec.hasMin && spec.hasMax)
        throw FieldError(field, given + " is outside its range " + formatNumber(spec.minValue[0]) + " to " +
                                    formatNumber(spec.maxValue[0]));
    if (below) throw FieldError(field, given + " is below its minimum " + formatNumber(spec.minValue[0]));
    throw FieldError(field, given + " is above its maximum " + formatNumber(spec.maxValue[0]));
}

std::vector<float> floatList(const Json& value, const std::string& field) {
    std::vector<float> list;
    array(value, field);
    list.reserve(value.size());
    for (size_t k = 0; k < value.size(); ++k) list.push_back(floatNumber(value[k], indexed(field, k)));
    return list;
}

}  // namespace

PointArray pointArray(const Json& value, const std::string& field) {
    PointArray result;
    if (value.is_array()) {
        result.values = floatList(value, field);
        for (size_t k = 0; k < result.values.size(); ++k) result.indices.push_back(static_cast<int32_t>(k));
        return result;
    }
    if (!value.is_object())
        throw FieldError(field, std::string("expected a list or {\"indices\", \"values\"}, got ") + value.type_name());
    refuseUnknownKeys(value, {"indices", "values"}, field);
    const std::string indicesField = member(field, "indices");
    const Json& indices = array(require(value, "indices", field), indicesField);
    result.indices.reserve(indices.size());
    for (size_t k = 0; k < indices.size(); ++k) {
        result.indices.push_back(static_cast<int32_t>(wholeNumber(indices[k], indexed(indicesField, k),
                                                                  std::numeric_limits<int32_t>::min(),
                                                                  std::numeric_limits<int32_t>::max())));
    }
    result.values = floatList(require(value, "values", field), member(field, "values"));
    return result;
}

void readAttributes(const Json& value, const std::vector<AttributeSpec>& declarations, Scene& scene) {
    object(value, "attributes");
    for (const auto& item : value.items()) {
        const std::string field = member("attributes", item.key());
        const AttributeSpec* spec = declared(declarations, item.key());
        if (!spec) throw FieldError(field, "unknown attribute");
        switch (spec->type) {
            case kAttributeNurbsSurface:
            case kAttributeNurbsCurve:
                throw FieldError(field, "geometry is given at the top level of the scene, not among attributes");
            case kAttributeEnum:
                scene.numbers[spec->shortName] = enumValue(*spec, item.value(), field);
                break;
            case kAttributeFloat:
            default:
                if (spec->perPoint) {
                    // The node reads the bound parameters by position: one value per point, in order.
                    const bool parameters = spec->shortName == "uparams" || spec->shortName == "vparams";
                    if (parameters && !item.value().is_array())
                        throw FieldError(field, std::string("expected a list, one value per point, got ") +
                                                    item.value().type_name());
                    // A plain map list sized for another mesh would leave points silently at the
                    // default; the parameters' own length check belongs to the node.
                    if (!parameters && item.value().is_array() && item.value().size() != scene.points.size())
                        throw FieldError::countMismatch(field, item.value().size(), scene.points.size());
                    scene.arrays[spec->shortName] = pointArray(item.value(), field);
                } else {
                    scene.numbers[spec->shortName] = scalarValue(*spec, item.value(), field);
                }
                break;
        }
    }
}

}  // namespace ostrivel::fields
