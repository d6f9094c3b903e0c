#pragma once
// One attribute declaration, as a node hands it to the framework.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum AttributeType : int32_t {
    kAttributeFloat = 2,
    kAttributeNurbsCurve = 7,
    kAttributeNurbsSurface = 8,
    kAttributeEnum = 9,
};

struct AttributeSpec {
    AttributeSpec(std::string shortNameIn, std::string longNameIn, AttributeType typeIn, bool flag)
        : type(typeIn), shortName(std::move(shortNameIn)), longName(std::move(longNameIn)), constructorFlag(flag) {}

    AttributeType type;
    std::string shortName;
    std::string longName;
    bool constructorFlag = false;
    bool keyable = false;
    bool paintable = false;
    bool perPoint = false;
    std::vector<AttributeSpec> children;
    std::vector<std::string> enumFields;  // field k has value k
    double defaultValue[4] = {0.0, 0.0, 0.0, 0.0};
    std::string extraText;
    bool hasMin = false;
    bool hasMax = false;
    double minValue[4] = {0.0, 0.0, 0.0, 0.0};
    double maxValue[4] = {0.0, 0.0, 0.0, 0.0};
    bool extraFlag = false;
    bool cached = false;
};
