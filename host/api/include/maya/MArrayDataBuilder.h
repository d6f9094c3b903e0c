#pragma once
// Collects the elements of an array plug; MArrayDataHandle::set hands them over.
#include <maya/MDataHandle.h>
#include <maya/MStatus.h>

namespace hostapi {
struct ArrayBuild;
}

class MArrayDataBuilder {
public:
    MArrayDataBuilder() = default;
    // The element at a logical index, created when missing.
    MDataHandle addElement(unsigned int index, MStatus* status = nullptr);
    unsigned int elementCount(MStatus* status = nullptr) const;

    explicit MArrayDataBuilder(std::shared_ptr<hostapi::ArrayBuild> build) : build_(std::move(build)) {}
    const std::shared_ptr<hostapi::ArrayBuild>& build() const { return build_; }

private:
    std::shared_ptr<hostapi::ArrayBuild> build_;
};
