#pragma once
// One attribute of one host dependency node.
#include <memory>
#include <maya/MDataHandle.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

namespace hostapi {
class HostObject;
}

class MPlug {
public:
    MPlug() = default;
    bool isNull() const { return node_ == nullptr; }
    MString name() const;
    // A handle to a copy of the plug's current data.
    MDataHandle asMDataHandle(MStatus* status = nullptr) const;
    // Stores the handle's data as the plug's value.
    MStatus setMDataHandle(MDataHandle handle);
    // Releases a handle obtained from asMDataHandle.
    void destructHandle(MDataHandle& handle) const;

    MPlug(std::shared_ptr<hostapi::HostObject> node, int attribute) : node_(std::move(node)), attribute_(attribute) {}

private:
    std::shared_ptr<hostapi::HostObject> node_;
    int attribute_ = -1;
};
