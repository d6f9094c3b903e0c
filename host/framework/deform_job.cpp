#include "deform_job.h"

#include <memory>

#include <hostapi/objects.h>

#include "deformer_node.h"
#include "result.h"
#include "scene.h"

namespace ostrivel {

namespace {

// The scene is checked against the declarations before the named node exists, so ask a
// throw-away node object for them.
std::vector<AttributeSpec> declarationsOf(PluginLibrary& library) {
    std::unique_ptr<KxNode> probe(library.create());
    if (!probe) throw HostError("plug-in " + library.path() + " created no node");
    std::vector<AttributeSpec> declarations;
    probe->declareAttributes(declarations);
    return declarations;
}

std::vector<float> parameterValues(const DeformerNode& node, const char* shortName) {
    return node.plugValue(shortName).values;
}

}  // namespace

int runDeform(const DeformJob& job) {
    hostapi::clearMessageLog();
    auto library = std::make_shared<PluginLibrary>(job.pluginPath);
    const Scene scene = readScene(job.scenePath, declarationsOf(*library));

    DeformerNode node(library, scene.nodeName);
    applyScene(scene, node);
    DeformAttributes record;
    record.points = scene.points;
    record.weights = scene.weights;
    record.indices.resize(scene.points.size());
    for (size_t k = 0; k < record.indices.size(); ++k) record.indices[k] = static_cast<int32_t>(k);

    int status = 0;
    if (scene.needsBinding()) {
        AttributeMap commandMap;
        status = node.runCommand(library->resetParams, record, commandMap);
    }
    EvaluationSettings settings;
    settings.cacheAttributes = scene.cacheAttributes;
    settings.envelope = scene.envelope;
    for (int k = 0; status == 0 && k < job.repeat; ++k) status = node.deform(settings, record);

    DeformResult result;
    result.status = status;
    result.points = std::move(record.points);
    result.uparams = parameterValues(node, "uparams");
    result.vparams = parameterValues(node, "vparams");
    result.messages = hostapi::messageLog();
    writeResult(job.outPath, result);
    return status == 0 ? 0 : 1;
}

}  // namespace ostrivel
