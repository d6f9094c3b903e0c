#pragma once
// How nodes talk to the user: one line per failure through the host's displays.
// Assertions report and make the operation return 1 in every build; they never abort.

#include <string>

#include <maya/MFnDependencyNode.h>
#include <maya/MGlobal.h>
#include <maya/MObject.h>
#include <maya/MString.h>

inline void reportError(std::string text) { MGlobal::displayError(MString(text.c_str())); }
inline void reportInfo(std::string text) { MGlobal::displayInfo(MString(text.c_str())); }

// The host dependency node's name; messages fetch it when they are built.
inline std::string nodeName(const MObject& node) { return MFnDependencyNode(node).name().asChar(); }

inline std::string assertionText(const MObject& node, const char* file, int line, const std::string& message) {
    return nodeName(node) + ": ASSERT error (" + file + ":" + std::to_string(line) + "): " + message;
}

// Written at the check's own site so that the report carries that file and line.
#define KX_ASSERT(node, condition, message)                                    \
    do {                                                                       \
        if (!(condition)) {                                                    \
            reportError(assertionText((node), __FILE__, __LINE__, (message))); \
            return 1;                                                          \
        }                                                                      \
    } while (0)
