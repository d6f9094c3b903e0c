#pragma once
// `ostrivel devices`: the OpenCL platforms and devices this host can run the slide on.

#include <ostream>

namespace ostrivel {

// One line per device, "PLATFORM:DEVICE  platform / device (version)", the one in use
// marked. Throws HostError when there is no OpenCL platform.
int listDevices(std::ostream& out);

}  // namespace ostrivel
