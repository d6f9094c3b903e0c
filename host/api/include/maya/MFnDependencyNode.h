#pragma once
// Function set over a host dependency node: its name and its plugs by short name.
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

class MFnDependencyNode {
public:
    MFnDependencyNode() = default;
    explicit MFnDependencyNode(const MObject& object, MStatus* status = nullptr);
    MStatus setObject(const MObject& object);
    // Empty text when the function set is attached to nothing or to a non-node object.
    MString name(MStatus* status = nullptr) const;
    // A null plug when there is no attribute with that short (or long) name.
    MPlug findPlug(const MString& attributeName, bool wantNetworkedPlug = true, MStatus* status = nullptr) const;

private:
    MObject object_;
};
