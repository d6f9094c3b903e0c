#include "device_slide.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <hostapi/opencl.h>

#include "gpu.h"
#include "quelvarn.h"
#include "slide_kernel_source.h"  // generated from slide.cl and knot_span.h

namespace {

// The kernel program, built once per process on the host's device.
struct SlideProgram {
    cl_program program = nullptr;
    cl_int status = CL_SUCCESS;
    int line = 0;
    std::string buildLog;  // the compiler's messages when the build failed

    SlideProgram() {
        const char* source = kSlideKernelSource;
        const cl_context context = MOpenCLInfo::getOpenCLContext();
        cl_device_id device = MOpenCLInfo::getOpenCLDeviceId();
        line = __LINE__ + 1;
        program = clCreateProgramWithSource(context, 1, &source, nullptr, &status);
        if (status != CL_SUCCESS) return;
        const std::string options = "-cl-std=CL1.2 -DMAX_ORDER=" + std::to_string(kMaxSurfaceOrder);
        line = __LINE__ + 1;
        status = clBuildProgram(program, 1, &device, options.c_str(), nullptr, nullptr);
        ++builds;
        if (status != CL_SUCCESS) {
            size_t size = 0;
            clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, 0, nullptr, &size);
            buildLog.resize(size);
            clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, size, buildLog.data(), nullptr);
        }
    }
    ~SlideProgram() {
        if (program) clReleaseProgram(program);
    }
    static std::atomic<int> builds;
};
std::atomic<int> SlideProgram::builds{0};

const SlideProgram& slideProgram() {
    static SlideProgram program;
    return program;
}

// An OpenCL failure outside the framework routines, in their format, with this file's line.
int reportFailure(cl_int status, int line) {
    reportError(openCLFailureText(__FILE__, line, status));
    MOpenCLInfo::checkCLErrorStatus(status);
    return 1;
}

template <class T>
const T& attribute(const AttributeMap& attributes, const char* key) {
    return static_cast<const T&>(*attributes.at(key));  // prepareDeviceData checked key and class
}

// Surface record as floats: domains, u knots, v knots, control points.
std::vector<double> packSurface(const SurfaceData& surface) {
    std::vector<double> packed = {surface.uDirection.domainStart, surface.uDirection.domainEnd,
                                  surface.vDirection.domainStart, surface.vDirection.domainEnd};
    packed.insert(packed.end(), surface.uDirection.knots.begin(), surface.uDirection.knots.end());
    packed.insert(packed.end(), surface.vDirection.knots.begin(), surface.vDirection.knots.end());
    for (const KxPoint& cv : surface.cvs) packed.insert(packed.end(), {cv.x, cv.y, cv.z});
    return packed;
}

void packCurve(const CurveData& curve, std::vector<double>& packed) {
    for (const KxPoint& cv : curve.cvs) packed.insert(packed.end(), {cv.x, cv.y, cv.z});
    packed.insert(packed.end(), curve.knots.begin(), curve.knots.end());
}

bool fitsKernel(const SurfaceData& surface) {
    return isSupportedSurface(surface) && surface.uDirection.order <= kMaxSurfaceOrder &&
           surface.vDirection.order <= kMaxSurfaceOrder;
}

}  // namespace

// One device buffer and the byte size it was made with: a buffer is reused while its size
// stays, and made anew when it changes.
struct DeviceBuffer {
    MAutoCLMem memory;
    size_t bytes = 0;

    cl_int write(const void* data, size_t size, cl_mem_flags flags) {
        static const int32_t placeholder[4] = {};  // OpenCL has no empty buffers
        if (size == 0) {
            data = placeholder;
            size = sizeof placeholder;
        }
        if (size != bytes) {
            memory.reset();
            bytes = size;
        }
        return writeDeviceBuffer(memory, size, data, flags | CL_MEM_COPY_HOST_PTR);
    }
    cl_int writeFloats(const std::vector<double>& values) {
        if (values.size() * sizeof(float) != bytes) {
            memory.reset();
            bytes = values.size() * sizeof(float);
        }
        return uploadAsFloats(memory, values);
    }
    template <class T>
    cl_int write(const std::vector<T>& values, cl_mem_flags flags) {
        return write(values.data(), values.size() * sizeof(T), flags);
    }
};

struct DeviceSlide::Buffers {
    MAutoCLKernel kernel;
    DeviceBuffer points, moves, weights, indices, uparams, vparams;
    DeviceBuffer maps, frames, restSurface;  // the node's caches: up only after a refresh
    DeviceBuffer surface, curves, shapes;
    int32_t cacheCount = -1;                 // points the uploaded caches cover; -1 before the first
};

DeviceSlide::DeviceSlide() : buffers_(std::make_unique<Buffers>()) {}
DeviceSlide::~DeviceSlide() = default;

std::string DeviceSlide::unavailableReason() { return hostapi::openCLUnavailableReason(); }
std::string DeviceSlide::deviceName() { return hostapi::openCLDeviceName(); }
int DeviceSlide::programBuilds() { return SlideProgram::builds.load(); }
cl_mem DeviceSlide::cacheBuffer() const { return buffers_->maps.memory.get(); }

int DeviceSlide::evaluate(KxNode& kxNode, AttributeMap& attributes, DeformAttributes& record) {
    MyNode& node = static_cast<MyNode&>(kxNode);
    const std::string unavailable = unavailableReason();
    if (!unavailable.empty()) {
        reportError("device evaluation: " + unavailable);
        return 1;
    }
    Buffers& b = *buffers_;
    const int32_t count = static_cast<int32_t>(record.points.size());

    // The node rebuilds its caches when they are due; so does this upload. A cache of the
    // wrong size is rebuilt whatever the flags say.
    const auto found = attributes.find("CACHE_ATTRIBUTES");
    const auto cacheAttributes =
        found == attributes.end() ? nullptr : std::dynamic_pointer_cast<KxBoolean>(found->second);
    bool refresh = node.gpuRefreshPending || !cacheAttributes || !cacheAttributes->value;
    DeviceDeformAttributes deviceRecord;
    deviceRecord.pointCount = count;
    const int status = node.prepareDeviceData(attributes, deviceRecord);
    if (status != 0) return status;
    if (!record.enabled || count == 0) return 0;

    const std::vector<const std::vector<float>*> caches = {
        &node.pushMap.values,     &node.umap.values,        &node.dmap.values,        &node.lmap.values,
        &node.rmap.values,        &node.upushInMap.values,  &node.dpushInMap.values,  &node.lpushInMap.values,
        &node.rpushInMap.values,  &node.upushOutMap.values, &node.dpushOutMap.values, &node.lpushOutMap.values,
        &node.rpushOutMap.values};
    size_t covered = node.restFrameInverses.size();
    for (const auto* cache : caches) covered = std::min(covered, cache->size());
    const int32_t cacheCount = static_cast<int32_t>(covered);
    refresh = refresh || cacheCount != b.cacheCount;

    if (!fitsKernel(node.surfaceData) || !fitsKernel(node.restSurfaceData)) {
        reportError(nodeName(node.nodeObject) + ": device evaluation: the surface is not one the device slide supports");
        return 1;
    }
    const SlideProgram& program = slideProgram();
    if (program.status != CL_SUCCESS) {
        if (std::getenv("OSTRIVEL_OPENCL_BUILD_LOG")) std::fputs(program.buildLog.c_str(), stderr);
        return reportFailure(program.status, program.line);
    }
    if (b.kernel.isNull()) {
        cl_int created = CL_SUCCESS;
        const int line = __LINE__ + 1;
        b.kernel.attach(clCreateKernel(program.program, "slidePoints", &created));
        if (created != CL_SUCCESS) return reportFailure(created, line);
    }

    const auto& curve = attribute<KxNurbsCurve>(attributes, "quelvarn__curve").value;
    const auto& curveBase = attribute<KxNurbsCurve>(attributes, "quelvarn__curveBase").value;
    const SurfaceData& surface = node.surfaceData;
    const SurfaceData& rest = node.restSurfaceData;

    cl_int uploaded = CL_SUCCESS;
    auto keep = [&uploaded](cl_int result) {
        if (uploaded == CL_SUCCESS) uploaded = result;
    };
    if (refresh) {
        std::vector<float> maps(caches.size() * covered);
        for (size_t slot = 0; slot < caches.size(); ++slot)
            std::copy_n(caches[slot]->begin(), covered, maps.begin() + static_cast<std::ptrdiff_t>(slot * covered));
        std::vector<float> frames(16 * covered);
        for (size_t k = 0; k < covered; ++k) {
            const double* entries = node.restFrameInverses[k].getValue();
            for (int e = 0; e < 16; ++e) frames[16 * k + e] = static_cast<float>(entries[e]);
        }
        keep(b.maps.write(maps, CL_MEM_READ_ONLY));
        keep(b.frames.write(frames, CL_MEM_READ_ONLY));
        keep(b.restSurface.writeFloats(packSurface(rest)));
        b.cacheCount = uploaded == CL_SUCCESS ? cacheCount : -1;  // a failed upload goes again next time
        if (uploaded != CL_SUCCESS) return 1;  // shown by the routine that failed
        ++cacheUploads_;
    }
    std::vector<double> curves;
    packCurve(curve, curves);
    packCurve(curveBase, curves);
    const std::vector<int32_t> shapes = {
        surface.uDirection.order, surface.uDirection.cvCount, surface.vDirection.order, surface.vDirection.cvCount,
        rest.uDirection.order,    rest.uDirection.cvCount,    rest.vDirection.order,    rest.vDirection.cvCount,
        curve.degree,             static_cast<int32_t>(curve.knots.size()),
        curveBase.degree,         static_cast<int32_t>(curveBase.knots.size())};
    keep(b.surface.writeFloats(packSurface(surface)));
    keep(b.curves.writeFloats(curves));
    keep(b.shapes.write(shapes, CL_MEM_READ_ONLY));
    keep(b.weights.write(record.weights, CL_MEM_READ_ONLY));
    keep(b.indices.write(record.indices, CL_MEM_READ_ONLY));
    const auto& uparams = attribute<KxFloat>(attributes, "quelvarn__uparams").values;
    const auto& vparams = attribute<KxFloat>(attributes, "quelvarn__vparams").values;
    keep(b.uparams.write(uparams, CL_MEM_READ_ONLY));
    keep(b.vparams.write(vparams, CL_MEM_READ_ONLY));
    const size_t pointBytes = record.points.size() * 3 * sizeof(float);
    if (b.points.bytes != pointBytes) {
        b.points.memory.reset();
        b.points.bytes = pointBytes;
        b.moves.memory.reset();
        b.moves.bytes = pointBytes;
        keep(writeDeviceBuffer(b.moves.memory, pointBytes, nullptr, CL_MEM_WRITE_ONLY));
    }
    keep(uploadPointsAsFloats(b.points.memory, record.points));
    if (uploaded != CL_SUCCESS) return 1;

    const auto number = [&attributes](const char* key) { return attribute<KxFloat>(attributes, key).value; };
    const auto choice = [&attributes](const char* key) { return attribute<KxInt>(attributes, key).value; };
    MAutoCLKernel& kernel = b.kernel;
    cl_uint arg = 0;
    cl_int argStatus = CL_SUCCESS;
    auto set = [&](auto&& value) {
        const cl_int result = setKernelArg(kernel, arg++, value);
        if (argStatus == CL_SUCCESS) argStatus = result;
    };
    for (DeviceBuffer* buffer : {&b.points, &b.moves, &b.weights, &b.indices, &b.uparams, &b.vparams, &b.maps,
                                 &b.frames, &b.surface, &b.restSurface, &b.curves, &b.shapes})
        set(buffer->memory);
    set(count);
    set(static_cast<int32_t>(record.weights.size()));
    set(static_cast<int32_t>(record.indices.size()));
    set(static_cast<int32_t>(std::min(uparams.size(), vparams.size())));
    set(cacheCount);
    set(attribute<KxFloat>(attributes, "ENVELOPE").value);
    set(choice("quelvarn__paramType"));
    set(number("quelvarn__startParam"));
    set(number("quelvarn__endParam"));
    set(number("quelvarn__lr_center"));
    set(number("quelvarn__ud_factor"));
    set(number("quelvarn__lr_factor"));
    set(number("quelvarn__push_coeff"));
    set(choice("quelvarn__slidingMethod"));
    if (argStatus != CL_SUCCESS) return reportFailure(argStatus, __LINE__);

    cl_device_id device = MOpenCLInfo::getOpenCLDeviceId();
    cl_kernel kernelHandle = kernel.get();
    size_t global = 0, local = 0;
    if (computeWorkSizes(device, kernelHandle, count, global, local) != CL_SUCCESS) return 1;
    MAutoCLEvent noWait, done;
    if (enqueueKernel(kernel, global, local, noWait, done) != CL_SUCCESS) return 1;
    return readDevicePoints(b.moves.memory, done, record.points) == CL_SUCCESS ? 0 : 1;
}
