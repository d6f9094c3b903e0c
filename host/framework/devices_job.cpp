#include "devices_job.h"

#include <hostapi/opencl.h>

#include "plugin_library.h"

namespace ostrivel {

int listDevices(std::ostream& out) {
    std::string reason;
    const std::vector<hostapi::OpenCLDeviceListing> devices = hostapi::listOpenCLDevices(reason);
    if (devices.empty()) throw HostError(reason.empty() ? "no OpenCL device found" : reason);
    for (const auto& device : devices) {
        const bool used = hostapi::isOpenCLDeviceInUse(device.platform, device.device);
        out << device.platform << ":" << device.device << (used ? " * " : "   ") << device.platformName << " / "
            << device.deviceName << " (" << device.version << ")\n";
    }
    out << "(* in use; OSTRIVEL_OPENCL_DEVICE=PLATFORM:DEVICE selects another)\n";
    if (hostapi::openCLDeviceName().empty()) out << "none in use: " << hostapi::openCLUnavailableReason() << "\n";
    return 0;
}

}  // namespace ostrivel
