#pragma once
// Owns one OpenCL kernel object.
#include <maya/MAutoCLObject.h>

class MAutoCLKernel : public MAutoCLObject<cl_kernel> {
public:
    using MAutoCLObject<cl_kernel>::MAutoCLObject;
};
