// The quelvarn node: its exports, its operations and every assertion it reports.

#include "quelvarn.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include <maya/MArrayDataBuilder.h>
#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnNurbsSurface.h>
#include <maya/MPlug.h>
#include <maya/MPoint.h>

#include "AttributeLookup.h"
#include "Messages.h"

// ---- construction and attributes --------------------------------------------------------

MyNode::MyNode() : cpuRefreshPending(true), gpuRefreshPending(true) {}

MyNode::~MyNode() = default;

void MyNode::notify() {}

void MyNode::invalidateDeviceData() { gpuRefreshPending = true; }

namespace {

const std::string kPrefix = "quelvarn__";

AttributeSpec shapeAttribute(const char* shortName, AttributeType type, bool cached) {
    AttributeSpec spec(shortName, kPrefix + shortName, type, false);
    spec.cached = cached;
    return spec;
}

AttributeSpec enumAttribute(const char* shortName, std::vector<std::string> fields) {
    AttributeSpec spec(shortName, kPrefix + shortName, kAttributeEnum, false);
    spec.enumFields = std::move(fields);
    spec.cached = true;
    return spec;
}

AttributeSpec floatAttribute(const char* shortName, double defaultValue, double minValue, double maxValue) {
    AttributeSpec spec(shortName, kPrefix + shortName, kAttributeFloat, false);
    spec.defaultValue[0] = defaultValue;
    spec.hasMin = true;
    spec.minValue[0] = minValue;
    spec.hasMax = true;
    spec.maxValue[0] = maxValue;
    return spec;
}

// A keyable scalar that tunes the slide.
AttributeSpec tuningAttribute(const char* shortName, double defaultValue, double minValue, double maxValue) {
    AttributeSpec spec = floatAttribute(shortName, defaultValue, minValue, maxValue);
    spec.keyable = true;
    return spec;
}

// A paintable array with one value per point, in [0, 1].
AttributeSpec perPointAttribute(const char* shortName, double defaultValue) {
    AttributeSpec spec = floatAttribute(shortName, defaultValue, 0.0, 1.0);
    spec.paintable = true;
    spec.perPoint = true;
    spec.cached = true;
    return spec;
}

}  // namespace

void MyNode::declareAttributes(std::vector<AttributeSpec>& specs) {
    specs.push_back(shapeAttribute("surface", kAttributeNurbsSurface, false));
    specs.push_back(shapeAttribute("surfaceBase", kAttributeNurbsSurface, true));
    specs.push_back(enumAttribute("slidingMethod", {"vector", "matrix"}));
    specs.push_back(perPointAttribute("uparams", 0.0));
    specs.push_back(perPointAttribute("vparams", 0.0));
    specs.push_back(enumAttribute("paramType", {"U", "V"}));
    specs.push_back(tuningAttribute("startParam", 0.0, 0.0, 1.0));
    specs.push_back(tuningAttribute("endParam", 1.0, 0.0, 1.0));
    AttributeSpec pushCoeff = tuningAttribute("push_coeff", 1.0, 0.0, 0.0);
    pushCoeff.hasMax = false;  // pushes may be amplified without bound
    pushCoeff.maxValue[0] = 0.0;
    specs.push_back(pushCoeff);
    specs.push_back(tuningAttribute("ud_factor", 0.0, -1.0, 1.0));
    specs.push_back(tuningAttribute("lr_factor", 0.0, -1.0, 1.0));
    specs.push_back(tuningAttribute("lr_center", 0.5, 0.0, 1.0));
    specs.push_back(perPointAttribute("pushMap", 0.0));
    specs.push_back(shapeAttribute("curve", kAttributeNurbsCurve, false));
    specs.push_back(shapeAttribute("curveBase", kAttributeNurbsCurve, true));
    for (const char* side : {"u", "d", "l", "r"}) {
        const std::string name(side);
        specs.push_back(perPointAttribute((name + "map").c_str(), 1.0));
        specs.push_back(perPointAttribute((name + "pushInMap").c_str(), 0.0));
        specs.push_back(perPointAttribute((name + "pushOutMap").c_str(), 0.0));
    }
}

// ---- commands --------------------------------------------------------------------------

namespace {

// What every command takes from its map before doing its own work.
struct CommandContext {
    KxNode* node = nullptr;
    GetAttributes* getAttributes = nullptr;
    RunAttributes* runAttributes = nullptr;
    DeformAttributes* deformAttributes = nullptr;
};

// A value of the wrong class or a null node pointer ends the command like a missing key:
// the framework gets the same out-of-range failure and nothing is used through it.
[[noreturn]] void failLikeMissingKey() { throw std::out_of_range("invalid map<K, T> key"); }

int commandPreamble(AttributeMap& attributes, CommandContext& context) {
    std::dynamic_pointer_cast<KxBoolean>(checkedLookup(attributes, "HELP"));
    const auto nodeNameValue = std::dynamic_pointer_cast<KxString>(checkedLookup(attributes, "NODE_NAME"));
    if (!nodeNameValue) failLikeMissingKey();
    const std::string requestedName = nodeNameValue->value;  // messages name the node through nodeObject
    const auto nodePointer = std::dynamic_pointer_cast<KxPtr>(checkedLookup(attributes, "KX_NODE_PTR"));
    if (!nodePointer || !nodePointer->value) failLikeMissingKey();
    context.node = static_cast<KxNode*>(nodePointer->value);
    const MObject& node = context.node->nodeObject;

    const auto getAttributes = fetchAttribute<KxPtr>(attributes, "GET_ATTRIBUTES_PTR", node);
    if (!getAttributes) return 1;
    KX_ASSERT(node, getAttributes->value != nullptr, "Invalid GetAttributes");
    const auto runAttributes = fetchAttribute<KxPtr>(attributes, "RUN_ATTRIBUTES_PTR", node);
    if (!runAttributes) return 1;
    KX_ASSERT(node, runAttributes->value != nullptr, "Invalid RunAttributes");
    const auto deformAttributes = fetchAttribute<KxPtr>(attributes, "DEFORM_ATTRIBUTES_PTR", node);
    if (!deformAttributes) return 1;
    KX_ASSERT(node, deformAttributes->value != nullptr, "Invalid DeformAttributes");

    context.getAttributes = static_cast<GetAttributes*>(getAttributes->value);
    context.runAttributes = static_cast<RunAttributes*>(runAttributes->value);
    context.deformAttributes = static_cast<DeformAttributes*>(deformAttributes->value);
    return 0;
}

// Writes values[k], clamped to [lower, upper] and narrowed to float, into element
// indices[k] of an array plug. Elements not named keep their values.
void setFloatArrayPlug(MPlug plug, const std::vector<int>& indices, const std::vector<double>& values, double lower,
                       double upper) {
    MDataHandle dataHandle = plug.asMDataHandle();
    MArrayDataHandle arrayHandle(dataHandle);
    MArrayDataBuilder builder = arrayHandle.builder();
    for (size_t k = 0; k < values.size(); ++k) {
        const double value = values[k];
        // NaN fails both comparisons and becomes the upper bound.
        const double clamped = lower > value ? lower : (value < upper ? value : upper);
        builder.addElement(static_cast<unsigned int>(indices[k])).setFloat(static_cast<float>(clamped));
    }
    arrayHandle.set(builder);
    plug.setMDataHandle(dataHandle);
    plug.destructHandle(dataHandle);
}

// The exact inverse of the evaluation's mapping u = s * domainEnd + domainStart.
double normalizedParameter(double parameter, double domainStart, double domainEnd) {
    return (parameter - domainStart) / domainEnd;
}

}  // namespace

KxNode* create() { return new MyNode(); }

int help(AttributeMap& attributes) {
    CommandContext context;
    if (commandPreamble(attributes, context) != 0) return 1;
    attributes["OUTPUT"] = std::make_shared<KxString>("Commands: resetParams");
    return 0;
}

int resetParams(AttributeMap& attributes) {
    CommandContext context;
    if (commandPreamble(attributes, context) != 0) return 1;
    const MObject& node = context.node->nodeObject;
    const auto surface = fetchAttribute<KxNurbsSurface>(*context.runAttributes, "quelvarn__surface", node);
    if (!surface) return 1;

    MFnNurbsSurface surfaceFn(surface->value);
    double startU = 0.0, endU = 0.0, startV = 0.0, endV = 0.0;
    surfaceFn.getKnotDomain(startU, endU, startV, endV);
    MFnDependencyNode nodeFn(node);

    const std::vector<KxPoint>& points = context.deformAttributes->points;
    const size_t count = points.size();
    std::vector<int> indices(count);
    std::vector<double> uValues(count);
    std::vector<double> vValues(count);
    for (size_t i = 0; i < count; ++i) {
        const MPoint point(points[i].x, points[i].y, points[i].z, 1.0);
        double paramU = 0.0, paramV = 0.0;
        surfaceFn.closestPoint(point, &paramU, &paramV, false, 0.001, MSpace::kObject);
        uValues[i] = normalizedParameter(paramU, startU, endU);
        vValues[i] = normalizedParameter(paramV, startV, endV);
        indices[i] = static_cast<int>(i);
    }
    setFloatArrayPlug(nodeFn.findPlug("uparams", true), indices, uValues, 0.0, 1.0);
    setFloatArrayPlug(nodeFn.findPlug("vparams", true), indices, vValues, 0.0, 1.0);
    reportInfo("U/V params have been reset");
    return 0;
}

// ---- evaluation --------------------------------------------------------------------------

int MyNode::deform(AttributeMap&, DeformAttributes&) { return 0; }

int MyNode::prepareDeviceData(AttributeMap&, DeviceDeformAttributes&) { return 0; }
