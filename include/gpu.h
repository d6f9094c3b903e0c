#pragma once
// The framework's OpenCL routines for a device evaluation: buffer uploads, read-backs,
// work sizes, a one-dimensional launch and kernel arguments, all on the host's context
// and default queue. A failing call is shown as "OpenCL API error at FILE: LINE: NAME"
// (this header's path and the line of the call), handed to checkCLErrorStatus, and its
// status returned; nothing here throws.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <Imath/ImathMatrix.h>
#include <maya/MAutoCLEvent.h>
#include <maya/MAutoCLKernel.h>
#include <maya/MAutoCLMem.h>
#include <maya/MOpenCLInfo.h>

#include "CLStatusNames.h"
#include "KxTypes.h"
#include "Messages.h"

inline std::string openCLFailureText(const char* file, int line, cl_int status) {
    return std::string("OpenCL API error at ") + file + ": " + std::to_string(line) + ": " + openCLStatusName(status);
}

// The failure report every checked routine shares; `line` is that of the failing call.
inline cl_int reportOpenCLStatus(cl_int status, int line) {
    if (status != CL_SUCCESS) {
        reportError(openCLFailureText(__FILE__, line, status));
        MOpenCLInfo::checkCLErrorStatus(status);
    }
    return status;
}

// Creates the buffer from `hostData` on first use; later calls write into the existing
// memory object, blocking, which keeps the size and flags it was created with.
inline cl_int writeDeviceBuffer(MAutoCLMem& buffer, size_t size, const void* hostData, cl_mem_flags flags) {
    cl_int status = CL_SUCCESS;
    int line = 0;
    if (buffer.isNull()) {
        line = __LINE__ + 1;
        cl_mem memory = clCreateBuffer(MOpenCLInfo::getOpenCLContext(), flags, size, const_cast<void*>(hostData), &status);
        buffer.attach(memory);  // also when the creation failed and `memory` is null
    } else {
        line = __LINE__ + 1;
        status = clEnqueueWriteBuffer(MOpenCLInfo::getMayaDefaultOpenCLCommandQueue(), buffer.get(), CL_TRUE, 0, size,
                                      hostData, 0, nullptr, nullptr);
    }
    return reportOpenCLStatus(status, line);
}

// Every value narrowed to a 32-bit float, in order, into a read-only buffer.
inline cl_int uploadAsFloats(MAutoCLMem& buffer, const std::vector<double>& values) {
    std::vector<float> narrowed(values.begin(), values.end());
    return writeDeviceBuffer(buffer, narrowed.size() * sizeof(float), narrowed.data(),
                             CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR);
}

// Sixteen floats read once `event` has completed, widened, in the order read. The read's
// status is not examined; a failed read gives zeros.
inline Imath::M44d readDeviceMatrix(MAutoCLMem& buffer, MAutoCLEvent& event) {
    float values[16] = {};
    clEnqueueReadBuffer(MOpenCLInfo::getMayaDefaultOpenCLCommandQueue(), buffer.get(), CL_TRUE, 0, sizeof values,
                        values, 1, event.getReadOnlyRef(), nullptr);
    Imath::M44d matrix;
    for (int k = 0; k < 16; ++k) matrix[k / 4][k % 4] = static_cast<double>(values[k]);
    return matrix;
}

// The kernel's work-group size on `device` as the local size (256 when the query fails or
// gives 0), and the smallest multiple of it strictly above `count` as the global size.
inline cl_int computeWorkSizes(cl_device_id& device, cl_kernel& kernel, int32_t count, size_t& global, size_t& local) {
    size_t queried = 0;
    size_t written = 0;
    const int line = __LINE__ + 1;
    const cl_int status = clGetKernelWorkGroupInfo(kernel, device, CL_KERNEL_WORK_GROUP_SIZE, sizeof queried, &queried,
                                                   &written);
    reportOpenCLStatus(status, line);
    local = status == CL_SUCCESS && written > 0 && queried > 0 ? queried : 256;
    const uint64_t items = static_cast<uint64_t>(static_cast<int64_t>(count));
    global = static_cast<size_t>(items - items % local + local);
    return status;
}

// One-dimensional launch after `wait` (when it holds an event); `done` receives the
// launch's completion event.
inline cl_int enqueueKernel(MAutoCLKernel& kernel, size_t global, size_t local, MAutoCLEvent& wait, MAutoCLEvent& done) {
    const MAutoCLEvent waitFor(wait);  // retained: `done` may be the same handle as `wait`
    const size_t globalSizes[1] = {global};
    const size_t localSizes[1] = {local};
    const cl_uint waitCount = waitFor.isNull() ? 0 : 1;
    const int line = __LINE__ + 1;
    const cl_int status = clEnqueueNDRangeKernel(MOpenCLInfo::getMayaDefaultOpenCLCommandQueue(), kernel.get(), 1,
                                                 nullptr, globalSizes, localSizes, waitCount,
                                                 waitCount ? waitFor.getReadOnlyRef() : nullptr,
                                                 done.getReferenceForAssignment());
    return reportOpenCLStatus(status, line);
}

// Kernel arguments: buffers as their handle, 64-bit floats narrowed to 32 bits, bools as
// 4-byte integers. The status is returned unreported.
inline cl_int setKernelArg(MAutoCLKernel& kernel, cl_uint index, MAutoCLMem& buffer) {
    return clSetKernelArg(kernel.get(), index, sizeof(cl_mem), buffer.getReadOnlyRef());
}
inline cl_int setKernelArg(MAutoCLKernel& kernel, cl_uint index, int32_t value) {
    return clSetKernelArg(kernel.get(), index, sizeof value, &value);
}
inline cl_int setKernelArg(MAutoCLKernel& kernel, cl_uint index, float value) {
    return clSetKernelArg(kernel.get(), index, sizeof value, &value);
}
inline cl_int setKernelArg(MAutoCLKernel& kernel, cl_uint index, double value) {
    const float narrowed = static_cast<float>(value);
    return clSetKernelArg(kernel.get(), index, sizeof narrowed, &narrowed);
}
inline cl_int setKernelArg(MAutoCLKernel& kernel, cl_uint index, bool value) {
    const int32_t widened = value ? 1 : 0;
    return clSetKernelArg(kernel.get(), index, sizeof widened, &widened);
}

// Points go up as three 32-bit floats each, into a buffer the kernel may read and write.
inline cl_int uploadPointsAsFloats(MAutoCLMem& buffer, const std::vector<KxPoint>& points) {
    std::vector<float> narrowed(points.size() * 3);
    for (size_t k = 0; k < points.size(); ++k) {
        narrowed[3 * k] = static_cast<float>(points[k].x);
        narrowed[3 * k + 1] = static_cast<float>(points[k].y);
        narrowed[3 * k + 2] = static_cast<float>(points[k].z);
    }
    return writeDeviceBuffer(buffer, narrowed.size() * sizeof(float), narrowed.data(),
                             CL_MEM_READ_WRITE | CL_MEM_COPY_HOST_PTR);
}

// Reads each point's move (three 32-bit floats) once `event` has completed and adds it to
// the point in 64-bit floats. A point that did not move gets exactly 0 and keeps every bit
// of its coordinates; a failed read leaves every point as it was.
inline cl_int readDevicePoints(MAutoCLMem& buffer, MAutoCLEvent& event, std::vector<KxPoint>& points) {
    std::vector<float> moves(points.size() * 3);
    if (moves.empty()) return CL_SUCCESS;
    const cl_uint waitCount = event.isNull() ? 0 : 1;
    const int line = __LINE__ + 1;
    const cl_int status = clEnqueueReadBuffer(MOpenCLInfo::getMayaDefaultOpenCLCommandQueue(), buffer.get(), CL_TRUE, 0,
                                              moves.size() * sizeof(float), moves.data(), waitCount,
                                              waitCount ? event.getReadOnlyRef() : nullptr, nullptr);
    if (reportOpenCLStatus(status, line) != CL_SUCCESS) return status;
    for (size_t k = 0; k < points.size(); ++k) {
        const float* move = &moves[3 * k];
        if (move[0] == 0.0f && move[1] == 0.0f && move[2] == 0.0f) continue;
        points[k].x += static_cast<double>(move[0]);
        points[k].y += static_cast<double>(move[1]);
        points[k].z += static_cast<double>(move[2]);
    }
    return status;
}
