// The framework's OpenCL routines and the host's handle classes, on the host's real
// OpenCL device (PoCL in CI): work sizes, buffer creation then writes, argument
// conversions, read-backs and the failure report.

#include <gmock/gmock.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <hostapi/objects.h>
#include <hostapi/opencl.h>

#include "../framework/test_support.h"
#include "gpu.h"

namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using ::testing::Pair;

// Copies its arguments out, so that what setKernelArg passed can be read back.
const char* kEchoSource = R"(
__kernel void echo(float f, int i, __global const float* in, __global float* floats, __global int* ints) {
    if (get_global_id(0) != 0) return;
    floats[0] = f;
    floats[1] = in[0];
    ints[0] = i;
}
)";

class GpuRoutines : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(hostapi::openCLUnavailableReason(), "") << "these tests need an OpenCL device (PoCL in CI)";
        testing_support::quietLog();
        cl_int status = CL_SUCCESS;
        program = clCreateProgramWithSource(MOpenCLInfo::getOpenCLContext(), 1, &kEchoSource, nullptr, &status);
        ASSERT_EQ(status, CL_SUCCESS);
        device = MOpenCLInfo::getOpenCLDeviceId();
        ASSERT_EQ(clBuildProgram(program, 1, &device, "", nullptr, nullptr), CL_SUCCESS);
        kernel.attach(clCreateKernel(program, "echo", &status));
        ASSERT_EQ(status, CL_SUCCESS);
    }
    void TearDown() override {
        if (program) clReleaseProgram(program);
    }

    template <class T>
    std::vector<T> read(MAutoCLMem& buffer, size_t count) {
        std::vector<T> values(count);
        EXPECT_EQ(clEnqueueReadBuffer(MOpenCLInfo::getMayaDefaultOpenCLCommandQueue(), buffer.get(), CL_TRUE, 0,
                                      count * sizeof(T), values.data(), 0, nullptr, nullptr),
                  CL_SUCCESS);
        return values;
    }

    static cl_uint referenceCount(cl_mem memory) {
        cl_uint count = 0;
        clGetMemObjectInfo(memory, CL_MEM_REFERENCE_COUNT, sizeof count, &count, nullptr);
        return count;
    }

    cl_program program = nullptr;
    cl_device_id device = nullptr;
    MAutoCLKernel kernel;
};

// "OpenCL API error at <this build's include/gpu.h>: <line>: <status name>".
MATCHER_P(OpenCLFailure, statusName, "") {
    return ::testing::Value(arg, MatchesRegex("error: OpenCL API error at .*include/gpu\\.h: [0-9]+: " +
                                              std::string(statusName)));
}

TEST_F(GpuRoutines, WorkSizesAreMultiplesOfTheLocalSizeStrictlyAboveTheCount) {
    // A failed query gives the local size 256: the listed cases, each with the report.
    cl_kernel none = nullptr;
    for (const auto& [count, expected] : {std::pair<int32_t, size_t>{1000, 1024}, {1024, 1280}, {0, 256}}) {
        testing_support::quietLog();
        const int failuresBefore = hostapi::openCLFailureCount();
        size_t global = 0, local = 0;
        EXPECT_EQ(computeWorkSizes(device, none, count, global, local), CL_INVALID_KERNEL);
        EXPECT_EQ(local, 256u);
        EXPECT_EQ(global, expected) << count;
        EXPECT_THAT(testing_support::shownMessages(), ElementsAre(OpenCLFailure("CL_INVALID_KERNEL")));
        EXPECT_EQ(hostapi::openCLFailureCount(), failuresBefore + 1);  // checkCLErrorStatus saw it
        EXPECT_EQ(hostapi::lastOpenCLFailure(), CL_INVALID_KERNEL);
    }
    // The device's own size, no message.
    testing_support::quietLog();
    cl_kernel echo = kernel.get();
    size_t global = 0, local = 0;
    EXPECT_EQ(computeWorkSizes(device, echo, 1000, global, local), CL_SUCCESS);
    EXPECT_GT(local, 0u);
    EXPECT_EQ(global % local, 0u);
    EXPECT_GT(global, 1000u);
    EXPECT_LE(global, 1000u + local);
    EXPECT_TRUE(testing_support::shownMessages().empty());
}

TEST_F(GpuRoutines, WriteCreatesTheBufferOnceThenWritesIntoIt) {
    MAutoCLMem buffer;
    const int32_t first[3] = {1, 2, 3};
    ASSERT_EQ(writeDeviceBuffer(buffer, sizeof first, first, CL_MEM_READ_WRITE | CL_MEM_COPY_HOST_PTR), CL_SUCCESS);
    const cl_mem created = buffer.get();
    ASSERT_NE(created, nullptr);
    EXPECT_THAT(read<int32_t>(buffer, 3), ElementsAre(1, 2, 3));

    const int32_t second[3] = {7, 8, 9};
    ASSERT_EQ(writeDeviceBuffer(buffer, sizeof second, second, CL_MEM_READ_WRITE | CL_MEM_COPY_HOST_PTR), CL_SUCCESS);
    EXPECT_EQ(buffer.get(), created);  // the same memory object, written into
    EXPECT_THAT(read<int32_t>(buffer, 3), ElementsAre(7, 8, 9));

    // A failed creation attaches the null object and reports the creation's status.
    MAutoCLMem refused;
    EXPECT_EQ(writeDeviceBuffer(refused, 0, nullptr, CL_MEM_READ_ONLY), CL_INVALID_BUFFER_SIZE);
    EXPECT_TRUE(refused.isNull());
    EXPECT_THAT(testing_support::shownMessages(), ElementsAre(OpenCLFailure("CL_INVALID_BUFFER_SIZE")));
}

TEST_F(GpuRoutines, UploadAsFloatsNarrowsIntoAReadOnlyCopy) {
    MAutoCLMem buffer;
    const std::vector<double> values = {0.1, -2.5, 1e-40, 3.0000000001};
    ASSERT_EQ(uploadAsFloats(buffer, values), CL_SUCCESS);
    EXPECT_THAT(read<float>(buffer, 4), ElementsAre(0.1f, -2.5f, static_cast<float>(1e-40), 3.0f));
    cl_mem_flags flags = 0;
    clGetMemObjectInfo(buffer.get(), CL_MEM_FLAGS, sizeof flags, &flags, nullptr);
    EXPECT_EQ(flags, 36u);  // CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR
    size_t size = 0;
    clGetMemObjectInfo(buffer.get(), CL_MEM_SIZE, sizeof size, &size, nullptr);
    EXPECT_EQ(size, 16u);
}

TEST_F(GpuRoutines, KernelArgumentsConvertAndLaunchFailuresAreReported) {
    // A launch before any argument is set: reported, returned, and no event.
    MAutoCLEvent wait, failed;
    EXPECT_EQ(enqueueKernel(kernel, 256, 256, wait, failed), CL_INVALID_KERNEL_ARGS);
    EXPECT_TRUE(failed.isNull());
    EXPECT_THAT(testing_support::shownMessages(), ElementsAre(OpenCLFailure("CL_INVALID_KERNEL_ARGS")));

    MAutoCLMem in, floats, ints;
    const float input = 42.5f;
    ASSERT_EQ(writeDeviceBuffer(in, sizeof input, &input, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR), CL_SUCCESS);
    ASSERT_EQ(writeDeviceBuffer(floats, 2 * sizeof(float), nullptr, CL_MEM_WRITE_ONLY), CL_SUCCESS);
    ASSERT_EQ(writeDeviceBuffer(ints, sizeof(int32_t), nullptr, CL_MEM_WRITE_ONLY), CL_SUCCESS);

    // Sets f and i, runs the kernel, and reads back f, in[0] and i.
    const auto echo = [&](auto f, auto i) {
        EXPECT_EQ(setKernelArg(kernel, 0, f), CL_SUCCESS);
        EXPECT_EQ(setKernelArg(kernel, 1, i), CL_SUCCESS);
        EXPECT_EQ(setKernelArg(kernel, 2, in), CL_SUCCESS);
        EXPECT_EQ(setKernelArg(kernel, 3, floats), CL_SUCCESS);
        EXPECT_EQ(setKernelArg(kernel, 4, ints), CL_SUCCESS);
        MAutoCLEvent none, done;
        EXPECT_EQ(enqueueKernel(kernel, 1, 1, none, done), CL_SUCCESS);
        EXPECT_FALSE(done.isNull());
        clWaitForEvents(1, done.getReadOnlyRef());
        return std::pair{read<float>(floats, 2), read<int32_t>(ints, 1)};
    };
    // double as the nearest float, bool true as 1; float and int as they are; bool false as 0.
    EXPECT_THAT(echo(0.1, true), Pair(ElementsAre(0.1f, 42.5f), ElementsAre(1)));
    EXPECT_THAT(echo(-1.25f, int32_t{-7}), Pair(ElementsAre(-1.25f, 42.5f), ElementsAre(-7)));
    EXPECT_THAT(echo(3.0, false), Pair(ElementsAre(3.0f, 42.5f), ElementsAre(0)));
    // A wrong index comes back unreported.
    testing_support::quietLog();
    EXPECT_EQ(setKernelArg(kernel, 9, 1.0f), CL_INVALID_ARG_INDEX);
    EXPECT_TRUE(testing_support::shownMessages().empty());
}

TEST_F(GpuRoutines, MatrixAndPointReadBacksWaitOnTheEvent) {
    MAutoCLMem matrix;
    float values[16];
    for (int k = 0; k < 16; ++k) values[k] = 0.1f * static_cast<float>(k);
    ASSERT_EQ(writeDeviceBuffer(matrix, sizeof values, values, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR), CL_SUCCESS);
    MAutoCLEvent marker;
    ASSERT_EQ(clEnqueueMarkerWithWaitList(MOpenCLInfo::getMayaDefaultOpenCLCommandQueue(), 0, nullptr,
                                          marker.getReferenceForAssignment()),
              CL_SUCCESS);
    const Imath::M44d read = readDeviceMatrix(matrix, marker);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(read[k / 4][k % 4], static_cast<double>(values[k]));

    // A failed read (no buffer) gives zeros, never what the stack held.
    MAutoCLMem empty;
    const Imath::M44d failed = readDeviceMatrix(empty, marker);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(failed[k / 4][k % 4], 0.0);

    // Points: a zero move keeps every bit (even -0.0); others are added in double.
    std::vector<KxPoint> points = {{0.1, -0.0, 1e300}, {1.0, 2.0, 3.0}};
    const float moves[6] = {0.0f, 0.0f, 0.0f, 0.5f, -0.25f, 0.0f};
    MAutoCLMem moved;
    ASSERT_EQ(writeDeviceBuffer(moved, sizeof moves, moves, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR), CL_SUCCESS);
    ASSERT_EQ(readDevicePoints(moved, marker, points), CL_SUCCESS);
    EXPECT_EQ(points[0].x, 0.1);
    EXPECT_TRUE(std::signbit(points[0].y));
    EXPECT_EQ(points[0].z, 1e300);
    EXPECT_EQ(points[1].x, 1.5);
    EXPECT_EQ(points[1].y, 1.75);
    EXPECT_EQ(points[1].z, 3.0);

    // A failed point read is reported and leaves the points alone.
    testing_support::quietLog();
    EXPECT_EQ(readDevicePoints(empty, marker, points), CL_INVALID_MEM_OBJECT);
    EXPECT_EQ(points[1].x, 1.5);
    EXPECT_THAT(testing_support::shownMessages(), ElementsAre(OpenCLFailure("CL_INVALID_MEM_OBJECT")));
}

TEST_F(GpuRoutines, HandlesRetainOnCopyAndReleaseWhenDone) {
    MAutoCLMem buffer;
    const float one = 1.0f;
    ASSERT_EQ(writeDeviceBuffer(buffer, sizeof one, &one, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR), CL_SUCCESS);
    const cl_mem memory = buffer.get();
    EXPECT_EQ(referenceCount(memory), 1u);
    {
        MAutoCLMem copy(buffer);
        EXPECT_EQ(copy.get(), memory);
        EXPECT_EQ(referenceCount(memory), 2u);
        MAutoCLMem moved(std::move(copy));
        EXPECT_TRUE(copy.isNull());
        EXPECT_EQ(referenceCount(memory), 2u);
    }
    EXPECT_EQ(referenceCount(memory), 1u);
    clRetainMemObject(memory);  // keep it alive to watch the slot give it up
    *buffer.getReferenceForAssignment() = nullptr;
    EXPECT_TRUE(buffer.isNull());
    EXPECT_EQ(referenceCount(memory), 1u);
    clReleaseMemObject(memory);
}

}  // namespace
