#pragma once
// Owns one OpenCL memory object. The node keeps these handles empty; the host's device
// evaluation attaches buffers to its own.
#include <maya/MAutoCLObject.h>

class MAutoCLMem : public MAutoCLObject<cl_mem> {
public:
    using MAutoCLObject<cl_mem>::MAutoCLObject;
};
