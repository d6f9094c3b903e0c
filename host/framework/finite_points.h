#pragma once
// No output file may hold a coordinate that is not a number: an evaluation that still
// produces one is stopped before anything is written.

#include <string>
#include <vector>

#include "KxTypes.h"
#include "plugin_library.h"

namespace ostrivel {

// The run produced a non-finite coordinate; ostrivel exits 1 and writes nothing.
class NonFiniteOutput : public HostError {
public:
    using HostError::HostError;
};

// Both functions below stream every coordinate of a scene's points on every evaluation, so
// both run on the evaluation's threads.

// Throws NonFiniteOutput naming the first point with a NaN or infinite coordinate:
// "<nodeName>: deformed point 3 is not finite (nan, 0.5, 1); nothing written".
void refuseNonFinitePoints(const std::vector<KxPoint>& points, const std::string& nodeName);

// `to` becomes a copy of `from`, in parallel when it already has their number.
void copyPoints(const std::vector<KxPoint>& from, std::vector<KxPoint>& to);

}  // namespace ostrivel
