#pragma once
// The host's side of its OpenCL set-up, for the framework host and the tests.
#include <string>
#include <vector>

#include <maya/MOpenCLTypes.h>

namespace hostapi {

// Why the host has no OpenCL device (one line), or empty when it has one. Makes the
// context on first use.
std::string openCLUnavailableReason();
// The name of the device in use, or empty.
std::string openCLDeviceName();
// True for the device that the context was made on (indices as listOpenCLDevices gives).
bool isOpenCLDeviceInUse(int platform, int device);

struct OpenCLDeviceListing {
    int platform = 0;
    int device = 0;
    std::string platformName;
    std::string deviceName;
    std::string version;
};
// Every device of every platform, in the order OSTRIVEL_OPENCL_DEVICE indexes them. Empty
// without a platform; `reason` then says why.
std::vector<OpenCLDeviceListing> listOpenCLDevices(std::string& reason);

// What checkCLErrorStatus has seen: the number of failures and the last failing status.
int openCLFailureCount();
cl_int lastOpenCLFailure();

}  // namespace hostapi
