#pragma once
// Typed reads of JSON scene fields. Every refusal names the field by its path in the
// file ("surface.cvs[3]", "attributes.umap.indices[0]") so the user can find it.

#include <cstdint>
#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

#include "plugin_library.h"

namespace ostrivel {

// A field that cannot become a host value; the message is "field: problem".
class FieldError : public HostError {
public:
    FieldError(const std::string& field, const std::string& problem) : HostError(field + ": " + problem) {}

    // A per-point list sized for another mesh: "weights has 300 values for 900 points (...)".
    static FieldError countMismatch(const std::string& field, size_t values, size_t points);

private:
    explicit FieldError(const std::string& message) : HostError(message) {}
};

namespace fields {

using Json = nlohmann::json;

// Shortest text that reads back as the same double ("1.5", "0.1", "1e-07").
std::string formatNumber(double value);

std::string indexed(const std::string& field, size_t index);
std::string member(const std::string& field, const std::string& key);

// The member, or null when the object lacks it.
const Json* find(const Json& object, const char* key);
const Json& require(const Json& object, const char* key, const std::string& objectField);
void refuseUnknownKeys(const Json& object, std::initializer_list<const char*> known, const std::string& objectField);

const Json& object(const Json& value, const std::string& field);
const Json& array(const Json& value, const std::string& field);
double number(const Json& value, const std::string& field);
// A number the node receives as a 32-bit float: refused when it lies beyond the float range.
float floatNumber(const Json& value, const std::string& field);
// A number without a fractional part, inside [lowest, highest].
int64_t wholeNumber(const Json& value, const std::string& field, int64_t lowest, int64_t highest);
bool boolean(const Json& value, const std::string& field);
std::string text(const Json& value, const std::string& field);

}  // namespace fields
}  // namespace ostrivel
