#pragma once
// Records the framework lays out and hands to nodes and commands, read in place.

#include <cstdint>
#include <vector>

#include "KxData.h"
#include "KxTypes.h"

// The record of one CPU evaluation.
struct DeformAttributes {
    bool enabled = true;
    std::vector<KxPoint> points;  // deformed in place
    double matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};  // row order
    std::vector<float> weights;
    std::vector<int32_t> indices;
};

// The record of one device-path evaluation; nodes read only the point count.
struct DeviceDeformAttributes {
    void* frameworkReserved = nullptr;
    int32_t pointCount = 0;
};

// Points held by the framework in its structure-of-arrays mode ("SOA_POINTS").
struct SoaPointsRecord {
    void* frameworkReserved = nullptr;
    int32_t pointCount = 0;
};

// What the framework asked the node for; commands only require it to be there.
struct GetAttributes {
    std::vector<std::string> requested;
};

// The node's own attribute values, as commands see them.
using RunAttributes = AttributeMap;
