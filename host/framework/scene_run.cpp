#include "scene_run.h"

#include <cstdio>

#include <hostapi/objects.h>

#include "atomic_file.h"
#include "finite_points.h"

namespace ostrivel {

std::vector<AttributeSpec> declarationsOf(PluginLibrary& library) {
    std::unique_ptr<KxNode> probe(library.create());
    if (!probe) throw HostError("plug-in " + library.path() + " created no node");
    std::vector<AttributeSpec> declarations;
    probe->declareAttributes(declarations);
    return declarations;
}

int printNodeErrors() {
    for (const auto& message : hostapi::messageLog()) {
        if (message.kind == hostapi::LoggedMessage::Kind::Error) std::fprintf(stderr, "%s\n", message.text.c_str());
    }
    return 1;
}

SceneRun::SceneRun(const std::string& scenePath, const std::string& pluginPath)
    : library_(std::make_shared<PluginLibrary>(pluginPath)),
      scenePath_(scenePath),
      scene_(readScene(scenePath, declarationsOf(*library_))),
      node_(std::make_unique<DeformerNode>(library_, scene_.nodeName)) {
    applyScene(scene_, *node_);
    record_.points = scene_.points;
    record_.weights = scene_.weights;
    record_.indices.resize(scene_.points.size());
    for (size_t k = 0; k < record_.indices.size(); ++k) record_.indices[k] = static_cast<int32_t>(k);
    settings.cacheAttributes = scene_.cacheAttributes;
    settings.envelope = scene_.envelope;
}

void SceneRun::refuseOverwritingInputs(const std::string& outPath) const {
    refuseOverwritingInput(outPath, scenePath_);
    refuseOverwritingInput(outPath, scene_.meshPath);
}

int SceneRun::bind() {
    record_.points = scene_.points;
    AttributeMap commandMap;
    return node_->runCommand(library_->resetParams, record_, commandMap);
}

int SceneRun::evaluate() {
    const int status = evaluateUnchecked();
    refuseNonFiniteOutput();  // before any job writes them
    return status;
}

void SceneRun::refuseNonFiniteOutput() const { refuseNonFinitePoints(record_.points, scene_.nodeName); }

int SceneRun::evaluateUnchecked() {
    copyPoints(scene_.points, record_.points);
    int status;
    if (device_) {
        // The device path drives the node itself: it holds the node like any operation.
        const NodeOperation operation = node_->beginOperation("deform on the device");
        AttributeMap map = node_->evaluationMap(settings);
        status = device_->evaluate(node_->node(), map, record_);
    } else {
        status = node_->deform(settings, record_);
    }
    return status;
}

std::string deviceUnavailable(const std::string& device) {
    if (device != "opencl") return "";
    const std::string reason = DeviceSlide::unavailableReason();
    return reason.empty() ? "" : "--device opencl: " + reason;
}

void SceneRun::selectDevice(const std::string& device) {
    if (device != "opencl") {
        device_.reset();
        return;
    }
    const std::string unavailable = deviceUnavailable(device);
    if (!unavailable.empty()) throw HostError(unavailable);
    if (node_->declaration("uparams").longName != "quelvarn__uparams")
        throw HostError("--device opencl: the device slide runs quelvarn nodes only");
    device_ = std::make_unique<DeviceSlide>();
}

}  // namespace ostrivel
