#pragma once
// An array view of a data handle. builder() starts from the elements already present,
// so writing through it never removes an element.
#include <maya/MArrayDataBuilder.h>
#include <maya/MDataHandle.h>
#include <maya/MStatus.h>

class MArrayDataHandle {
public:
    explicit MArrayDataHandle(const MDataHandle& handle, MStatus* status = nullptr);
    MArrayDataBuilder builder(MStatus* status = nullptr);
    MStatus set(const MArrayDataBuilder& builder);
    unsigned int elementCount(MStatus* status = nullptr) const;

private:
    MDataHandle handle_;
};
