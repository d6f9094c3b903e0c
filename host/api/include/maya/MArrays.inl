#pragma once
// Shared body of the host's value arrays (length, element access, append).
#include <vector>

template <class T>
class MHostArray {
public:
    MHostArray() = default;
    unsigned int length() const { return static_cast<unsigned int>(items_.size()); }
    void setLength(unsigned int length) { items_.resize(length); }
    void clear() { items_.clear(); }
    void append(const T& item) { items_.push_back(item); }
    T& operator[](unsigned int index) { return items_[index]; }
    const T& operator[](unsigned int index) const { return items_[index]; }

private:
    std::vector<T> items_;
};
