#include "attribute_table.h"

#include <algorithm>
#include <charconv>

namespace ostrivel {

namespace {
// The shortest text that reads back as the same double: exact, and short for round values.
std::string number(double value) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

std::string range(const AttributeSpec& spec) {
    if (!spec.hasMin && !spec.hasMax) return "none";
    return (spec.hasMin ? number(spec.minValue[0]) : "none") + " to " + (spec.hasMax ? number(spec.maxValue[0]) : "none");
}

std::string flags(const AttributeSpec& spec) {
    std::string text;
    const auto add = [&text](bool set, const char* name) {
        if (!set) return;
        if (!text.empty()) text += ",";
        text += name;
    };
    add(spec.keyable, "keyable");
    add(spec.paintable, "paintable");
    add(spec.perPoint, "perPoint");
    add(spec.cached, "cached");
    return text.empty() ? "-" : text;
}

std::string fields(const AttributeSpec& spec) {
    std::string text;
    for (size_t k = 0; k < spec.enumFields.size(); ++k) text += (k ? "," : "") + spec.enumFields[k];
    return text;
}
}  // namespace

const char* attributeTypeName(AttributeType type) {
    switch (type) {
        case kAttributeFloat: return "float";
        case kAttributeNurbsCurve: return "nurbsCurve";
        case kAttributeNurbsSurface: return "nurbsSurface";
        case kAttributeEnum: return "enum";
    }
    return "unknown";
}

std::string formatAttributeTable(const std::vector<AttributeSpec>& declarations) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"long name", "short name", "type", "default", "range", "flags", "enum fields"});
    for (const AttributeSpec& spec : declarations) {
        rows.push_back({spec.longName, spec.shortName,
                        std::string(attributeTypeName(spec.type)) + " (" + std::to_string(spec.type) + ")",
                        number(spec.defaultValue[0]),
                        range(spec), flags(spec), fields(spec)});
    }
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        table += line + "\n";
    }
    return table;
}

}  // namespace ostrivel
