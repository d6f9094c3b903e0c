#pragma once
// One deformer node as the framework host runs it: the plug-in's node object, the host
// dependency node that carries one plug per declared attribute, and the attribute maps
// and records that evaluations and commands receive.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <hostapi/objects.h>

#include "AttributeSpec.h"
#include "FrameworkRecords.h"
#include "KxNode.h"
#include "node_operation.h"
#include "plugin_library.h"

namespace ostrivel {

// The framework's settings of one evaluation.
struct EvaluationSettings {
    int32_t debugMode = 0;
    bool cacheAttributes = true;
    float envelope = 1.0f;
    bool soaEnabled = false;
    bool referencePath = false;  // "REFERENCE_PATH": the node's plain per-point slide
};

// A KxPtr value holding `value`.
std::shared_ptr<KxPtr> makePointerValue(void* value);

// The map every exported command receives: "HELP", "NODE_NAME", "KX_NODE_PTR" and the
// three framework records.
AttributeMap makeCommandMap(const std::string& nodeName, KxNode* node, GetAttributes* getAttributes,
                            RunAttributes* runAttributes, DeformAttributes* deformAttributes);

// Threading contract. Every operation of a node (deform, prepareDeviceData,
// invalidateDeviceData and the exported commands help and resetParams) runs on the
// calling thread and returns only when all the work it started has finished; no two of
// them may overlap on one node, because the node writes its caches and refresh flags
// without a lock. DeformerNode enforces this: a call made while another operation of the
// same node runs throws NodeBusy at once, touching nothing. Different nodes may run at
// the same time on different threads. The plug-store setters and runAttributes are not
// operations of the node; they must not be called while an operation of this node runs.
// node() hands out the plug-in's object without this guard: whoever drives it directly
// takes on the contract.
class DeformerNode {
public:
    DeformerNode(std::shared_ptr<PluginLibrary> library, const std::string& name);
    ~DeformerNode();
    DeformerNode(const DeformerNode&) = delete;
    DeformerNode& operator=(const DeformerNode&) = delete;

    KxNode& node() { return *node_; }
    const MObject& hostNode() const { return hostNode_; }
    std::string name() const;
    const std::vector<AttributeSpec>& declarations() const { return declarations_; }
    // The declaration with this short name; throws HostError for an unknown one.
    const AttributeSpec& declaration(const std::string& shortName) const;

    // Host-side plug stores (what a scene or a user sets).
    void setNumber(const std::string& shortName, double value);
    void setArray(const std::string& shortName, std::vector<int32_t> indices, std::vector<float> values);
    void setDenseArray(const std::string& shortName, const std::vector<float>& values);
    void setSurface(const std::string& shortName, MObject surface);
    void setCurve(const std::string& shortName, CurveData curve);
    const hostapi::PlugValue& plugValue(const std::string& shortName) const;

    // The node's attribute values under their long names, refreshed from every plug
    // that changed since the last call.
    const AttributeMap& runAttributes();

    // runAttributes plus the framework's evaluation settings, as deform receives them.
    AttributeMap evaluationMap(const EvaluationSettings& settings);
    int deform(const EvaluationSettings& settings, DeformAttributes& record);
    int prepareDeviceData(const EvaluationSettings& settings, DeviceDeformAttributes& record);
    void invalidateDeviceData();

    // Marks the node busy for the guard's lifetime; throws NodeBusy when an operation runs.
    NodeOperation beginOperation(const char* what) { return NodeOperation(running_, what, name()); }

    // Runs an exported command with a complete command map; `record` is the deform record
    // the command sees. The map is returned so callers can read "OUTPUT".
    int runCommand(PluginLibrary::CommandFunction command, DeformAttributes& record, AttributeMap& commandMap);
    // help's "OUTPUT" text; throws HostError when the command fails.
    std::string help();

    PluginLibrary& library() { return *library_; }

private:
    hostapi::Plug& plug(const std::string& shortName);
    const hostapi::Plug& plug(const std::string& shortName) const;
    void store(const std::string& shortName, hostapi::PlugValue value);
    std::shared_ptr<KxData> valueOf(const AttributeSpec& spec, const hostapi::PlugValue& value) const;

    std::shared_ptr<PluginLibrary> library_;  // outlives the node object it created
    MObject hostNode_;
    struct NodeDeleter {
        void operator()(KxNode* node) const { delete node; }  // through the virtual destructor
    };
    std::unique_ptr<KxNode, NodeDeleter> node_;
    std::vector<AttributeSpec> declarations_;
    AttributeMap runAttributes_;
    std::vector<uint64_t> seenRevisions_;
    GetAttributes getAttributes_;
    std::atomic<const char*> running_{nullptr};  // the operation in progress, or null
};

}  // namespace ostrivel
