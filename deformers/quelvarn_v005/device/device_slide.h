#pragma once
// The host's device evaluation of a quelvarn node: after the node's prepareDeviceData has
// refreshed its caches, the host uploads what the slide reads into buffers of its own,
// runs the slide kernel (slide.cl) on the host's OpenCL device and adds each point's move
// to the record's points. The node's own device-memory handles stay empty.

#include <cstdint>
#include <memory>
#include <string>

#include <maya/MOpenCLTypes.h>

#include "FrameworkRecords.h"
#include "KxData.h"

class KxNode;

// Like the node it runs, one DeviceSlide runs one evaluation at a time.
class DeviceSlide {
public:
    DeviceSlide();
    ~DeviceSlide();
    DeviceSlide(const DeviceSlide&) = delete;
    DeviceSlide& operator=(const DeviceSlide&) = delete;

    // One evaluation of `record.points` in place, with `attributes` as the node's
    // prepareDeviceData receives them; `node` is a quelvarn node (MyNode). 0 done; 1 after
    // a failure already shown (the node's or an OpenCL one); any other status of
    // prepareDeviceData as it came.
    int evaluate(KxNode& node, AttributeMap& attributes, DeformAttributes& record);

    // Why there is no OpenCL device for the slide (one line), or empty when there is one.
    static std::string unavailableReason();
    // The name of the device that runs the slide.
    static std::string deviceName();

    // For tests and benchmarks: how often the node's caches went up to the device, how
    // often this process built the kernel program, and the buffer that holds the caches.
    int cacheUploads() const { return cacheUploads_; }
    static int programBuilds();
    cl_mem cacheBuffer() const;

private:
    struct Buffers;
    std::unique_ptr<Buffers> buffers_;
    int cacheUploads_ = 0;
};
