#pragma once
// Coordinate spaces of host geometry queries. Object space is the same value as
// the pre-transform space.
class MSpace {
public:
    enum Space { kInvalid = 0, kTransform = 1, kPreTransform = 2, kObject = 2, kPostTransform = 3, kWorld = 4 };
};
