#pragma once
// Reads typed values off the front of a fuzz input; past its end every read gives 0, so
// any byte string is a complete, deterministic recipe.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace fuzzing {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool flag() { return byte() & 1; }
    // An integer in [0, count).
    uint32_t pick(uint32_t count) {
        uint32_t value = byte();
        value = (value << 8) | byte();
        return count == 0 ? 0 : value % count;
    }
    int32_t int32() {
        uint32_t value = 0;
        for (int k = 0; k < 4; ++k) value = (value << 8) | byte();
        return static_cast<int32_t>(value);
    }
    // Mostly tame values (all-zero bytes give 0), sometimes the hostile ones: NaN,
    // infinities, huge, tiny and raw bit patterns.
    double number() {
        switch (pick(32)) {
            case 26: return std::numeric_limits<double>::quiet_NaN();
            case 27: return std::numeric_limits<double>::infinity();
            case 28: return -std::numeric_limits<double>::infinity();
            case 29: return 1e300;
            case 30: return 1e-40;
            case 31: {
                double raw = 0.0;
                uint64_t bits = static_cast<uint32_t>(int32());
                bits = (bits << 32) | static_cast<uint32_t>(int32());
                std::memcpy(&raw, &bits, sizeof raw);
                return raw;
            }
            default: return (static_cast<int>(pick(2001)) - 1000) / 250.0;  // -4 .. 4 in steps
        }
    }
    float number32() { return static_cast<float>(number()); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace fuzzing
