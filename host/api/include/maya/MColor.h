#pragma once
// A display colour: red, green, blue and alpha as 32-bit floats. The default is opaque
// black.
class MColor {
public:
    MColor() = default;
    MColor(float rIn, float gIn, float bIn, float aIn = 1.0f) : r(rIn), g(gIn), b(bIn), a(aIn) {}
    bool operator==(const MColor& other) const {
        return r == other.r && g == other.g && b == other.b && a == other.a;
    }
    bool operator!=(const MColor& other) const { return !(*this == other); }
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 1.0f;
};
