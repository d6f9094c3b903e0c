// The host's one OpenCL context, device and default queue, made on first use.
#include <maya/MOpenCLInfo.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "hostapi/opencl.h"

namespace hostapi {
namespace {

constexpr const char* kDeviceVariable = "OSTRIVEL_OPENCL_DEVICE";

std::vector<cl_platform_id> platforms() {
    cl_uint count = 0;
    if (clGetPlatformIDs(0, nullptr, &count) != CL_SUCCESS || count == 0) return {};
    std::vector<cl_platform_id> ids(count);
    if (clGetPlatformIDs(count, ids.data(), nullptr) != CL_SUCCESS) return {};
    return ids;
}

std::vector<cl_device_id> devicesOf(cl_platform_id platform) {
    cl_uint count = 0;
    if (clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 0, nullptr, &count) != CL_SUCCESS || count == 0) return {};
    std::vector<cl_device_id> ids(count);
    if (clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, count, ids.data(), nullptr) != CL_SUCCESS) return {};
    return ids;
}

std::string infoText(cl_platform_id platform, cl_platform_info what) {
    size_t size = 0;
    if (clGetPlatformInfo(platform, what, 0, nullptr, &size) != CL_SUCCESS || size == 0) return "";
    std::string text(size, '\0');
    clGetPlatformInfo(platform, what, size, text.data(), nullptr);
    return text.c_str();  // drops the terminator
}

std::string infoText(cl_device_id device, cl_device_info what) {
    size_t size = 0;
    if (clGetDeviceInfo(device, what, 0, nullptr, &size) != CL_SUCCESS || size == 0) return "";
    std::string text(size, '\0');
    clGetDeviceInfo(device, what, size, text.data(), nullptr);
    return text.c_str();
}

// "P" or "P:D" with non-negative decimal indices.
bool parseSelection(const std::string& text, int& platform, int& device) {
    const auto colon = text.find(':');
    const std::string first = text.substr(0, colon);
    const std::string second = colon == std::string::npos ? "0" : text.substr(colon + 1);
    auto number = [](const std::string& digits, int& value) {
        if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        value = std::stoi(digits);
        return true;
    };
    return number(first, platform) && number(second, device);
}

struct OpenCLHost {
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
    cl_device_id device = nullptr;
    std::string deviceName;
    std::string unavailable;
    int platformInUse = -1;
    int deviceInUse = -1;

    OpenCLHost() {
        const std::vector<cl_platform_id> found = platforms();
        if (found.empty()) {
            unavailable = "no OpenCL platform found (is an OpenCL driver installed?)";
            return;
        }
        int platformIndex = 0, deviceIndex = 0;
        if (const char* selection = std::getenv(kDeviceVariable)) {
            if (!parseSelection(selection, platformIndex, deviceIndex)) {
                unavailable = std::string(kDeviceVariable) + "='" + selection +
                              "' is not PLATFORM or PLATFORM:DEVICE (indices as 'ostrivel devices' lists them)";
                return;
            }
        }
        if (platformIndex >= static_cast<int>(found.size())) {
            unavailable = std::string(kDeviceVariable) + " names platform " + std::to_string(platformIndex) +
                          ", but there are " + std::to_string(found.size());
            return;
        }
        const cl_platform_id platform = found[static_cast<size_t>(platformIndex)];
        const std::vector<cl_device_id> devices = devicesOf(platform);
        if (deviceIndex >= static_cast<int>(devices.size())) {
            unavailable = "OpenCL platform " + std::to_string(platformIndex) + " (" + infoText(platform, CL_PLATFORM_NAME) +
                          ") has no device " + std::to_string(deviceIndex);
            return;
        }
        device = devices[static_cast<size_t>(deviceIndex)];
        cl_int status = CL_SUCCESS;
        context = clCreateContext(nullptr, 1, &device, nullptr, nullptr, &status);
        if (status != CL_SUCCESS || !context) {
            unavailable = "cannot create an OpenCL context (status " + std::to_string(status) + ")";
            context = nullptr;
            device = nullptr;
            return;
        }
        queue = clCreateCommandQueue(context, device, 0, &status);
        if (status != CL_SUCCESS || !queue) {
            unavailable = "cannot create an OpenCL command queue (status " + std::to_string(status) + ")";
            clReleaseContext(context);
            context = nullptr;
            queue = nullptr;
            device = nullptr;
            return;
        }
        deviceName = infoText(device, CL_DEVICE_NAME);
        platformInUse = platformIndex;
        deviceInUse = deviceIndex;
    }
    ~OpenCLHost() {
        // Buffers and kernels still held elsewhere keep the context alive by themselves.
        if (queue) clReleaseCommandQueue(queue);
        if (context) clReleaseContext(context);
    }
};

OpenCLHost& openCLHost() {
    static OpenCLHost host;  // made once, on first use, by whichever thread gets here first
    return host;
}

std::atomic<int> failures{0};
std::atomic<cl_int> lastFailure{CL_SUCCESS};

}  // namespace

std::string openCLUnavailableReason() { return openCLHost().unavailable; }
std::string openCLDeviceName() { return openCLHost().deviceName; }
bool isOpenCLDeviceInUse(int platform, int device) {
    return openCLHost().platformInUse == platform && openCLHost().deviceInUse == device;
}
int openCLFailureCount() { return failures.load(); }
cl_int lastOpenCLFailure() { return lastFailure.load(); }

std::vector<OpenCLDeviceListing> listOpenCLDevices(std::string& reason) {
    std::vector<OpenCLDeviceListing> listing;
    const std::vector<cl_platform_id> found = platforms();
    reason = found.empty() ? "no OpenCL platform found (is an OpenCL driver installed?)" : "";
    for (size_t p = 0; p < found.size(); ++p) {
        const std::vector<cl_device_id> devices = devicesOf(found[p]);
        for (size_t d = 0; d < devices.size(); ++d) {
            listing.push_back({static_cast<int>(p), static_cast<int>(d), infoText(found[p], CL_PLATFORM_NAME),
                               infoText(devices[d], CL_DEVICE_NAME), infoText(devices[d], CL_DEVICE_VERSION)});
        }
    }
    return listing;
}

}  // namespace hostapi

cl_context MOpenCLInfo::getOpenCLContext() { return hostapi::openCLHost().context; }
cl_command_queue MOpenCLInfo::getMayaDefaultOpenCLCommandQueue() { return hostapi::openCLHost().queue; }
cl_device_id MOpenCLInfo::getOpenCLDeviceId() { return hostapi::openCLHost().device; }

bool MOpenCLInfo::checkCLErrorStatus(cl_int status) {
    if (status == CL_SUCCESS) return false;
    hostapi::failures.fetch_add(1);
    hostapi::lastFailure.store(status);
    return true;
}
