#pragma once
// The host's OpenCL context, device and default command queue. They are made on first
// use, on the first device of the first platform, or on the one that the environment
// variable OSTRIVEL_OPENCL_DEVICE names as "PLATFORM:DEVICE" (indices, as
// `ostrivel devices` lists them; "PLATFORM" alone takes its first device). Without a
// usable device the three are null, and hostapi::openCLUnavailableReason() says why;
// nothing else of the host depends on OpenCL being there.
#include <maya/MOpenCLTypes.h>

class MOpenCLInfo {
public:
    static cl_context getOpenCLContext();
    static cl_command_queue getMayaDefaultOpenCLCommandQueue();
    static cl_device_id getOpenCLDeviceId();
    // Takes note of a failed OpenCL call's status (the failure is already shown); true
    // when `status` is a failure.
    static bool checkCLErrorStatus(cl_int status);
};
