#include "scene_fields.h"

#include <charconv>
#include <cmath>

namespace ostrivel {

FieldError FieldError::countMismatch(const std::string& field, size_t values, size_t points) {
    return FieldError(field + " has " + std::to_string(values) + " values for " + std::to_string(points) +
                      " points (give one per point, or a sparse map {\"indices\": [...], \"values\": [...]})");
}


namespace fields {

namespace {
[[noreturn]] void wrongType(const Json& value, const std::string& field, const char* expected) {
    throw FieldError(field, std::string("expected ") + expected + ", got " + value.type_name());
}
}  // namespace

std::string formatNumber(double value) {
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, written.ptr);
}

std::string indexed(const std::string& field, size_t index) { return field + "[" + std::to_string(index) + "]"; }

std::string member(const std::string& field, const std::string& key) { return field.empty() ? key : field + "." + key; }

const Json* find(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

const Json& require(const Json& object, const char* key, const std::string& objectField) {
    const Json* value = find(object, key);
    if (!value) throw FieldError(member(objectField, key), "missing");
    return *value;
}

void refuseUnknownKeys(const Json& object, std::initializer_list<const char*> known, const std::string& objectField) {
    for (const auto& item : object.items()) {
        bool isKnown = false;
        for (const char* key : known) isKnown = isKnown || item.key() == key;
        if (!isKnown) throw FieldError(member(objectField, item.key()), "unknown field");
    }
}

const Json& object(const Json& value, const std::string& field) {
    if (!value.is_object()) wrongType(value, field, "an object");
    return value;
}

const Json& array(const Json& value, const std::string& field) {
    if (!value.is_array()) wrongType(value, field, "a list");
    return value;
}

double number(const Json& value, const std::string& field) {
    if (!value.is_number()) wrongType(value, field, "a number");
    return value.get<double>();
}

float floatNumber(const Json& value, const std::string& field) {
    const double given = number(value, field);
    if (std::fabs(given) > static_cast<double>(std::numeric_limits<float>::max()))
        throw FieldError(field, formatNumber(given) + " does not fit a 32-bit float");
    return static_cast<float>(given);
}

int64_t wholeNumber(const Json& value, const std::string& field, int64_t lowest, int64_t highest) {
    if (!value.is_number()) wrongType(value, field, "a whole number");
    const std::string range = " from " + std::to_string(lowest) + " to " + std::to_string(highest);
    if (value.is_number_unsigned()) {
        const uint64_t whole = value.get<uint64_t>();
        if (highest < 0 || whole > static_cast<uint64_t>(highest))
            throw FieldError(field, "expected a whole number" + range + ", got " + std::to_string(whole));
        return static_cast<int64_t>(whole);
    }
    if (value.is_number_integer()) {
        const int64_t whole = value.get<int64_t>();
        if (whole < lowest || whole > highest)
            throw FieldError(field, "expected a whole number" + range + ", got " + std::to_string(whole));
        return whole;
    }
    // Writers may give whole numbers as 3.0.
    const double real = value.get<double>();
    if (std::trunc(real) != real || real < static_cast<double>(lowest) || real > static_cast<double>(highest))
        throw FieldError(field, "expected a whole number" + range + ", got " + formatNumber(real));
    return static_cast<int64_t>(real);
}

bool boolean(const Json& value, const std::string& field) {
    if (!value.is_boolean()) wrongType(value, field, "true or false");
    return value.get<bool>();
}

std::string text(const Json& value, const std::string& field) {
    if (!value.is_string()) wrongType(value, field, "a string");
    return value.get<std::string>();
}

}  // namespace fields
}  // namespace ostrivel
