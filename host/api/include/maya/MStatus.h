#pragma once
// Status of a host call. The plug-in never examines it; the stand-in reports success
// or failure honestly so that host-side code can.
class MStatus {
public:
    enum MStatusCode { kSuccess = 0, kFailure = 1, kInvalidParameter = 5 };
    MStatus(MStatusCode code = kSuccess) : code_(code) {}
    MStatusCode statusCode() const { return code_; }
    explicit operator bool() const { return code_ == kSuccess; }
    bool operator==(MStatusCode code) const { return code_ == code; }
    bool operator!=(MStatusCode code) const { return code_ != code; }

private:
    MStatusCode code_;
};
