#pragma once
// A handle to a host object (dependency node, surface data). Null by default.
#include <memory>

namespace hostapi {
class HostObject;
}

class MObject {
public:
    MObject() = default;
    explicit MObject(std::shared_ptr<hostapi::HostObject> object) : object_(std::move(object)) {}
    bool isNull() const { return object_ == nullptr; }
    bool operator==(const MObject& other) const { return object_ == other.object_; }
    bool operator!=(const MObject& other) const { return object_ != other.object_; }

    // Stand-in access to the object behind the handle; not part of the plug-in's vocabulary.
    const std::shared_ptr<hostapi::HostObject>& hostObject() const { return object_; }

private:
    std::shared_ptr<hostapi::HostObject> object_;
};
