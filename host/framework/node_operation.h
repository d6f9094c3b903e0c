#pragma once
// One operation at a time per node. The node takes no lock of its own: its caches, its
// refresh flags and its surface records are written by deform and prepareDeviceData
// without protection, so the host must never let two operations of one node overlap.
// A NodeOperation marks the node busy for its lifetime; a second one on the same node
// is refused at once with a HostError instead of waiting or racing.

#include <atomic>
#include <string>

#include "plugin_library.h"

namespace ostrivel {

// The refused second operation: "<node>: cannot run deform while resetParams is running".
class NodeBusy : public HostError {
public:
    using HostError::HostError;
};

class NodeOperation {
public:
    // `running` is the node's slot; `what` names the operation (a string literal).
    NodeOperation(std::atomic<const char*>& running, const char* what, const std::string& nodeName);
    ~NodeOperation();
    NodeOperation(const NodeOperation&) = delete;
    NodeOperation& operator=(const NodeOperation&) = delete;

private:
    std::atomic<const char*>& running_;
};

}  // namespace ostrivel
