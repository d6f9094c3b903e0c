#pragma once
// A scene loaded into a fresh node, ready to bind and evaluate: the shared first half of
// every ostrivel job (deform, bind, animate, demo).

#include <memory>
#include <string>

#include "deformer_node.h"
#include "device_slide.h"
#include "plugin_library.h"
#include "scene.h"

namespace ostrivel {

class SceneRun {
public:
    // Reads and checks the scene, creates the node it names and stores the scene in its
    // plugs. Throws HostError (SceneError for a refused scene).
    SceneRun(const std::string& scenePath, const std::string& pluginPath);

    const Scene& scene() const { return scene_; }
    DeformerNode& node() { return *node_; }
    PluginLibrary& library() { return *library_; }
    // The evaluation record: the scene's points, weights and identity indices.
    DeformAttributes& record() { return record_; }
    EvaluationSettings settings;

    // Binds every point to its closest surface point with resetParams: 0 or 1.
    int bind();
    // Binds only when the scene lacks either parameter array.
    int bindIfNeeded() { return scene_.needsBinding() ? bind() : 0; }
    // One evaluation that starts from the scene's points, as a host re-evaluates its
    // deformer from the upstream shape: 0 or 1. Throws NonFiniteOutput when a deformed
    // point has a coordinate that is not finite.
    int evaluate();
    // The same evaluation without the check of the deformed points, for timings: a bench
    // writes no points, and checks the last evaluation's once it has timed them all.
    int evaluateUnchecked();
    // Throws NonFiniteOutput as evaluate does when the latest evaluation left a point that
    // is not finite.
    void refuseNonFiniteOutput() const;
    // Where evaluate runs: "cpu" (the node's deform) or "opencl" (the host's device slide
    // after the node's prepareDeviceData). Throws HostError when there is no OpenCL device.
    void selectDevice(const std::string& device);
    DeviceSlide* deviceSlide() { return device_.get(); }

    std::vector<float> parameters(const char* shortName) const { return node_->plugValue(shortName).values; }

    // Throws HostError when an output path names the scene file or its mesh.
    void refuseOverwritingInputs(const std::string& outPath) const;

private:
    std::shared_ptr<PluginLibrary> library_;
    std::string scenePath_;
    Scene scene_;
    std::unique_ptr<DeformerNode> node_;
    DeformAttributes record_;
    std::unique_ptr<DeviceSlide> device_;
};

// "--device opencl: " and why, when the named device cannot run; empty otherwise.
std::string deviceUnavailable(const std::string& device);

// For jobs that silence the message echo: prints the node's error lines to stderr and
// returns 1, the status of a run the node failed.
int printNodeErrors();

// The plug-in's declarations, from a throw-away node object: scenes are checked against
// them before the node they name exists.
std::vector<AttributeSpec> declarationsOf(PluginLibrary& library);

}  // namespace ostrivel
