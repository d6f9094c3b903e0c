#pragma once
// Owns one OpenCL event: the completion of an enqueued command.
#include <maya/MAutoCLObject.h>

class MAutoCLEvent : public MAutoCLObject<cl_event> {
public:
    using MAutoCLObject<cl_event>::MAutoCLObject;
};
