#include "node_operation.h"

namespace ostrivel {

NodeOperation::NodeOperation(std::atomic<const char*>& running, const char* what, const std::string& nodeName)
    : running_(running) {
    const char* idle = nullptr;
    // acquire/release: the next operation sees every write of the one before it.
    if (!running_.compare_exchange_strong(idle, what, std::memory_order_acquire, std::memory_order_relaxed))
        throw NodeBusy(nodeName + ": cannot run " + what + " while " + idle + " is running");
}

NodeOperation::~NodeOperation() { running_.store(nullptr, std::memory_order_release); }

}  // namespace ostrivel
