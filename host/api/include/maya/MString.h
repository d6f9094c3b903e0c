#pragma once
// Host text: 8-bit characters, round trip through asChar.
#include <string>

class MString {
public:
    MString() = default;
    MString(const char* text) : text_(text ? text : "") {}
    MString(const std::string& text) : text_(text) {}
    const char* asChar() const { return text_.c_str(); }
    unsigned int length() const { return static_cast<unsigned int>(text_.size()); }
    bool operator==(const MString& other) const { return text_ == other.text_; }
    bool operator!=(const MString& other) const { return text_ != other.text_; }

private:
    std::string text_;
};
