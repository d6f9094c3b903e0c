#pragma once
// The host's message displays: each call shows one line on stderr and records it in the
// host's message log.
#include <maya/MString.h>

class MGlobal {
public:
    static void displayError(const MString& text);
    static void displayInfo(const MString& text);
};
