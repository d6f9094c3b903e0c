#pragma once
// The result of a deform run as JSON: {"status", "points", "uparams", "vparams",
// "messages": [{"type", "text"}]}. Doubles are written in their shortest form that reads
// back to the same value; float parameters are widened first, so they read back exactly too.

#include <string>
#include <vector>

#include <hostapi/objects.h>

#include "KxTypes.h"

namespace ostrivel {

struct DeformResult {
    int status = 0;
    std::vector<KxPoint> points;
    std::vector<float> uparams;  // the parameter plugs' values after the run
    std::vector<float> vparams;
    std::vector<hostapi::LoggedMessage> messages;
};

std::string resultJson(const DeformResult& result);

// Writes under a temporary name in the same folder, then renames, so readers never see a
// partial file and a failed write leaves any earlier file in place. Throws HostError.
void writeResult(const std::string& path, const DeformResult& result);

}  // namespace ostrivel
