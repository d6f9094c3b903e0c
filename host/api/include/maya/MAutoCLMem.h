#pragma once
// Owns one device memory object. The node keeps these handles empty; the device
// routines attach OpenCL buffers to them.
class MAutoCLMem {
public:
    MAutoCLMem() = default;
    MAutoCLMem(const MAutoCLMem&) = delete;
    MAutoCLMem& operator=(const MAutoCLMem&) = delete;
    bool isNull() const { return memory_ == nullptr; }
    void* get() const { return memory_; }

private:
    void* memory_ = nullptr;
};
