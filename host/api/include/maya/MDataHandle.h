#pragma once
// A handle to a copy of plug data, or to one element of an array being built.
// Changes reach the plug only through MPlug::setMDataHandle.
#include <memory>

namespace hostapi {
struct PlugValue;
}

class MDataHandle {
public:
    MDataHandle() = default;
    void setFloat(float value);
    float asFloat() const;
    bool isNull() const { return data_ == nullptr; }

    // Stand-in plumbing.
    MDataHandle(std::shared_ptr<hostapi::PlugValue> data, long element) : data_(std::move(data)), element_(element) {}
    const std::shared_ptr<hostapi::PlugValue>& data() const { return data_; }

private:
    std::shared_ptr<hostapi::PlugValue> data_;
    long element_ = -1;  // -1: the whole value; otherwise the element's position in the array
};
