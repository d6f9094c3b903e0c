#pragma once
// Shared ownership of one OpenCL object: copies retain it, destruction releases it. The
// retain and release calls live in the host library, so code that only holds handles
// (a plug-in) never calls OpenCL itself.

#include <maya/MOpenCLTypes.h>

template <class Handle>
class MAutoCLObject {
public:
    MAutoCLObject() = default;
    // Takes over the caller's reference: no retain.
    explicit MAutoCLObject(Handle handle) : handle_(handle) {}
    MAutoCLObject(const MAutoCLObject& other);
    MAutoCLObject(MAutoCLObject&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    MAutoCLObject& operator=(const MAutoCLObject& other);
    MAutoCLObject& operator=(MAutoCLObject&& other) noexcept;
    ~MAutoCLObject();

    Handle get() const { return handle_; }
    bool isNull() const { return handle_ == nullptr; }
    // Holds `handle` from now on, releasing what it held; takes over one reference.
    void attach(Handle handle);
    // Releases what it holds and becomes empty.
    void reset();
    // The handle's address, for calls that take an array of handles.
    const Handle* getReadOnlyRef() const { return &handle_; }
    // Releases what it holds and gives the empty slot to a call that writes a new handle.
    Handle* getReferenceForAssignment();

private:
    Handle handle_ = nullptr;
};

extern template class MAutoCLObject<cl_mem>;
extern template class MAutoCLObject<cl_event>;
extern template class MAutoCLObject<cl_kernel>;
