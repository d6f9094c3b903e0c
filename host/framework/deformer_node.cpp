#include "deformer_node.h"

#include <maya/MFnDependencyNode.h>

namespace ostrivel {

namespace {
constexpr uint64_t kNeverSeen = ~uint64_t{0};

template <class T>
std::shared_ptr<T> makeValue() {
    return std::make_shared<T>();
}
}  // namespace

std::shared_ptr<KxPtr> makePointerValue(void* value) {
    auto pointer = makeValue<KxPtr>();
    pointer->value = value;
    return pointer;
}

AttributeMap makeCommandMap(const std::string& nodeName, KxNode* node, GetAttributes* getAttributes,
                            RunAttributes* runAttributes, DeformAttributes* deformAttributes) {
    AttributeMap map;
    map["HELP"] = makeValue<KxBoolean>();
    map["NODE_NAME"] = std::make_shared<KxString>(nodeName);
    map["KX_NODE_PTR"] = makePointerValue(node);
    map["GET_ATTRIBUTES_PTR"] = makePointerValue(getAttributes);
    map["RUN_ATTRIBUTES_PTR"] = makePointerValue(runAttributes);
    map["DEFORM_ATTRIBUTES_PTR"] = makePointerValue(deformAttributes);
    return map;
}

DeformerNode::DeformerNode(std::shared_ptr<PluginLibrary> library, const std::string& name)
    : library_(std::move(library)), hostNode_(hostapi::makeDependencyNode(name)) {
    node_.reset(library_->create());
    if (!node_) throw HostError("plug-in " + library_->path() + " created no node");
    node_->nodeObject = hostNode_;
    node_->declareAttributes(declarations_);
    hostapi::DependencyNode* dependencyNode = hostapi::asDependencyNode(hostNode_);
    for (const AttributeSpec& spec : declarations_) {
        hostapi::Plug& added = dependencyNode->addPlug(spec.shortName, spec.longName);
        added.value.number = spec.defaultValue[0];
        if (spec.type == kAttributeNurbsCurve) added.value.payload = CurveData{};
    }
    seenRevisions_.assign(declarations_.size(), kNeverSeen);
}

DeformerNode::~DeformerNode() = default;

std::string DeformerNode::name() const { return MFnDependencyNode(hostNode_).name().asChar(); }

const AttributeSpec& DeformerNode::declaration(const std::string& shortName) const {
    for (const AttributeSpec& spec : declarations_) {
        if (spec.shortName == shortName) return spec;
    }
    throw HostError("node " + name() + " has no attribute '" + shortName + "'");
}

hostapi::Plug& DeformerNode::plug(const std::string& shortName) {
    hostapi::DependencyNode* dependencyNode = hostapi::asDependencyNode(hostNode_);
    const int index = dependencyNode->findPlug(shortName);
    if (index < 0) throw HostError("node " + name() + " has no attribute '" + shortName + "'");
    return dependencyNode->plug(index);
}

const hostapi::Plug& DeformerNode::plug(const std::string& shortName) const {
    return const_cast<DeformerNode*>(this)->plug(shortName);
}

const hostapi::PlugValue& DeformerNode::plugValue(const std::string& shortName) const { return plug(shortName).value; }

void DeformerNode::store(const std::string& shortName, hostapi::PlugValue value) {
    hostapi::Plug& target = plug(shortName);
    target.value = std::move(value);
    ++target.revision;
}

void DeformerNode::setNumber(const std::string& shortName, double value) {
    hostapi::PlugValue stored = plug(shortName).value;
    stored.number = value;
    store(shortName, std::move(stored));
}

void DeformerNode::setArray(const std::string& shortName, std::vector<int32_t> indices, std::vector<float> values) {
    hostapi::PlugValue stored;
    stored.indices = std::move(indices);
    stored.values = std::move(values);
    store(shortName, std::move(stored));
}

void DeformerNode::setDenseArray(const std::string& shortName, const std::vector<float>& values) {
    std::vector<int32_t> indices(values.size());
    for (size_t k = 0; k < indices.size(); ++k) indices[k] = static_cast<int32_t>(k);
    setArray(shortName, std::move(indices), values);
}

void DeformerNode::setSurface(const std::string& shortName, MObject surface) {
    hostapi::PlugValue stored;
    stored.object = std::move(surface);
    store(shortName, std::move(stored));
}

void DeformerNode::setCurve(const std::string& shortName, CurveData curve) {
    hostapi::PlugValue stored;
    stored.payload = std::move(curve);
    store(shortName, std::move(stored));
}

// How each declared attribute type travels to the node.
std::shared_ptr<KxData> DeformerNode::valueOf(const AttributeSpec& spec, const hostapi::PlugValue& value) const {
    switch (spec.type) {
        case kAttributeNurbsSurface: {
            auto surface = makeValue<KxNurbsSurface>();
            surface->value = value.object;
            return surface;
        }
        case kAttributeNurbsCurve: {
            auto curve = makeValue<KxNurbsCurve>();
            if (const auto* data = std::any_cast<CurveData>(&value.payload)) curve->value = *data;
            return curve;
        }
        case kAttributeEnum: {
            auto field = makeValue<KxInt>();
            field->value = static_cast<int32_t>(value.number);
            return field;
        }
        case kAttributeFloat:
        default: {
            auto number = makeValue<KxFloat>();
            number->value = static_cast<float>(value.number);
            if (spec.perPoint) {
                number->indices = value.indices;
                number->values = value.values;
            }
            return number;
        }
    }
}

const AttributeMap& DeformerNode::runAttributes() {
    const hostapi::DependencyNode* dependencyNode = hostapi::asDependencyNode(hostNode_);
    for (size_t k = 0; k < declarations_.size(); ++k) {
        const hostapi::Plug& current = dependencyNode->plugs[k];
        if (seenRevisions_[k] == current.revision) continue;
        runAttributes_[declarations_[k].longName] = valueOf(declarations_[k], current.value);
        seenRevisions_[k] = current.revision;
    }
    return runAttributes_;
}

AttributeMap DeformerNode::evaluationMap(const EvaluationSettings& settings) {
    AttributeMap map = runAttributes();
    auto debugMode = makeValue<KxInt>();
    debugMode->value = settings.debugMode;
    auto cacheAttributes = makeValue<KxBoolean>();
    cacheAttributes->value = settings.cacheAttributes;
    auto envelope = makeValue<KxFloat>();
    envelope->value = settings.envelope;
    auto soaEnabled = makeValue<KxBoolean>();
    soaEnabled->value = settings.soaEnabled;
    map["DEBUG_MODE"] = debugMode;
    map["CACHE_ATTRIBUTES"] = cacheAttributes;
    map["ENVELOPE"] = envelope;
    map["SOA_ENABLED"] = soaEnabled;
    if (settings.referencePath) {  // optional: only present when the reference is asked for
        auto reference = makeValue<KxBoolean>();
        reference->value = true;
        map["REFERENCE_PATH"] = reference;
    }
    return map;
}

int DeformerNode::deform(const EvaluationSettings& settings, DeformAttributes& record) {
    const NodeOperation operation = beginOperation("deform");
    AttributeMap map = evaluationMap(settings);
    return node_->deform(map, record);
}

int DeformerNode::prepareDeviceData(const EvaluationSettings& settings, DeviceDeformAttributes& record) {
    const NodeOperation operation = beginOperation("prepareDeviceData");
    AttributeMap map = evaluationMap(settings);
    return node_->prepareDeviceData(map, record);
}

void DeformerNode::invalidateDeviceData() {
    const NodeOperation operation = beginOperation("invalidateDeviceData");
    node_->invalidateDeviceData();
}

int DeformerNode::runCommand(PluginLibrary::CommandFunction command, DeformAttributes& record,
                             AttributeMap& commandMap) {
    const NodeOperation operation = beginOperation(command == library_->help ? "help" : "resetParams");
    RunAttributes run = runAttributes();
    for (auto& [key, value] : makeCommandMap(name(), node_.get(), &getAttributes_, &run, &record))
        commandMap[key] = value;
    const int status = command(commandMap);
    // The records live only for the call: nothing may keep pointers to them.
    commandMap.erase("RUN_ATTRIBUTES_PTR");
    commandMap.erase("DEFORM_ATTRIBUTES_PTR");
    return status;
}

std::string DeformerNode::help() {
    DeformAttributes record;
    AttributeMap commandMap;
    if (runCommand(library_->help, record, commandMap) != 0) throw HostError("help failed on node " + name());
    const auto output = std::dynamic_pointer_cast<KxString>(commandMap["OUTPUT"]);
    if (!output) throw HostError("help wrote no OUTPUT on node " + name());
    return output->value;
}

}  // namespace ostrivel
