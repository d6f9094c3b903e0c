#pragma once
// Shared, run-time-typed attribute values and the map that files them by name.
//
// KxData has no virtual destructor: a value must be created together with its shared owner
// (std::make_shared), whose control block destroys it as the class it was created as.
// The one virtual operation exists so that a value's class can be checked at run time.

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <maya/MObject.h>

#include "KxTypes.h"

class KxData {
public:
    virtual void typeAnchor() {}

    uint64_t frameworkReserved = 0;  // the framework's own; never read or written by a deformer
    std::vector<int32_t> indices;    // for sparse per-point data: the point of each array entry

protected:
    KxData() = default;
    ~KxData() = default;
    KxData(const KxData&) = default;
    KxData& operator=(const KxData&) = default;
};

class KxBoolean : public KxData {
public:
    void typeAnchor() override {}
    bool value = false;
};

class KxInt : public KxData {
public:
    void typeAnchor() override {}
    int32_t value = 0;  // enums arrive as the field's position
};

class KxFloat : public KxData {
public:
    void typeAnchor() override {}
    float value = 0.0f;
    std::vector<float> values;  // dense: one per point; sparse: entry k belongs to point indices[k]
};

class KxString : public KxData {
public:
    KxString() = default;
    explicit KxString(std::string text) : value(std::move(text)) {}
    std::string value;
    std::vector<std::string> values;
};

class KxPtr : public KxData {
public:
    void typeAnchor() override {}
    void* value = nullptr;
};

class KxNurbsSurface : public KxData {
public:
    void typeAnchor() override {}
    MObject value;
};

class KxNurbsCurve : public KxData {
public:
    void typeAnchor() override {}
    CurveData value;
};

// Keys ordered byte-wise; one shared owner per entry.
using AttributeMap = std::map<std::string, std::shared_ptr<KxData>>;

// The framework's checked lookup: an absent key leaves with this out-of-range text.
inline const std::shared_ptr<KxData>& checkedLookup(const AttributeMap& map, const std::string& key) {
    const auto found = map.find(key);
    if (found == map.end()) throw std::out_of_range("invalid map<K, T> key");
    return found->second;
}

// Class names as they appear in messages.
template <class T>
struct KxClassName;
template <>
struct KxClassName<KxBoolean> { static constexpr const char* value = "KxBoolean"; };
template <>
struct KxClassName<KxInt> { static constexpr const char* value = "KxInt"; };
template <>
struct KxClassName<KxFloat> { static constexpr const char* value = "KxFloat"; };
template <>
struct KxClassName<KxPtr> { static constexpr const char* value = "KxPtr"; };
template <>
struct KxClassName<KxNurbsSurface> { static constexpr const char* value = "KxNurbsSurface"; };
template <>
struct KxClassName<KxNurbsCurve> { static constexpr const char* value = "KxNurbsCurve"; };
