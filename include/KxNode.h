#pragma once
// The framework's node base class. The host sets nodeObject and fills pointerTable after
// creating a node, then drives it through these seven virtual operations (in slot order).

#include <map>
#include <string>
#include <vector>

#include <maya/MObject.h>
#include <maya/MString.h>

#include "AttributeSpec.h"
#include "FrameworkRecords.h"
#include "KxData.h"

class KxNode {
public:
    KxNode() = default;
    KxNode(const KxNode&) = delete;
    KxNode& operator=(const KxNode&) = delete;

    virtual ~KxNode() = default;
    virtual void declareAttributes(std::vector<AttributeSpec>& specs) = 0;
    virtual int deform(AttributeMap&, DeformAttributes&) { return 0; }
    virtual void notifyText(MString) {}
    virtual void notify() {}
    // 2: this node has no device path.
    virtual int prepareDeviceData(AttributeMap&, DeviceDeformAttributes&) { return 2; }
    virtual void invalidateDeviceData() {}

    MObject nodeObject;
    std::map<std::string, void*> pointerTable;
    std::map<std::string, void*> secondaryPointerTable;
};
