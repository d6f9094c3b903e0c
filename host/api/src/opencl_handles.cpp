// Retain and release of the OpenCL handle classes.
#include <maya/MAutoCLObject.h>

namespace {
void retain(cl_mem handle) { clRetainMemObject(handle); }
void release(cl_mem handle) { clReleaseMemObject(handle); }
void retain(cl_event handle) { clRetainEvent(handle); }
void release(cl_event handle) { clReleaseEvent(handle); }
void retain(cl_kernel handle) { clRetainKernel(handle); }
void release(cl_kernel handle) { clReleaseKernel(handle); }
}  // namespace

template <class Handle>
MAutoCLObject<Handle>::MAutoCLObject(const MAutoCLObject& other) : handle_(other.handle_) {
    if (handle_) retain(handle_);
}

template <class Handle>
MAutoCLObject<Handle>& MAutoCLObject<Handle>::operator=(const MAutoCLObject& other) {
    if (other.handle_) retain(other.handle_);  // before the release: self-assignment stays safe
    reset();
    handle_ = other.handle_;
    return *this;
}

template <class Handle>
MAutoCLObject<Handle>& MAutoCLObject<Handle>::operator=(MAutoCLObject&& other) noexcept {
    if (this != &other) {
        reset();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

template <class Handle>
MAutoCLObject<Handle>::~MAutoCLObject() {
    reset();
}

template <class Handle>
void MAutoCLObject<Handle>::attach(Handle handle) {
    if (handle == handle_) return;
    reset();
    handle_ = handle;
}

template <class Handle>
void MAutoCLObject<Handle>::reset() {
    if (handle_) release(handle_);
    handle_ = nullptr;
}

template <class Handle>
Handle* MAutoCLObject<Handle>::getReferenceForAssignment() {
    reset();
    return &handle_;
}

template class MAutoCLObject<cl_mem>;
template class MAutoCLObject<cl_event>;
template class MAutoCLObject<cl_kernel>;
