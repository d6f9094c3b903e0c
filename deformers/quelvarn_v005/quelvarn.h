#pragma once
// MyNode: the surface-sliding deformer. Points bound to a driving NURBS surface by stored
// (u, v) parameters slide across it under a profile curve and its rest copy.

#include <array>
#include <vector>

#include <Imath/ImathMatrix.h>
#include <maya/MAutoCLMem.h>

#include "KxNode.h"
#include "line_aligned.h"
#include "surface_data.h"

// One dense per-point weight cache: a device-memory handle (left empty by the node) and
// one weight per point.
struct MapCache {
    MAutoCLMem deviceMemory;
    std::vector<float> values;
};

struct NodeAttributes;
namespace quelvarn::kernels {
enum class SlideBuild : int32_t;  // the wide slide build an evaluation runs (slide_kernel.h)
}

class MyNode : public KxNode {
public:
    MyNode();
    ~MyNode() override;

    void declareAttributes(std::vector<AttributeSpec>& specs) override;
    int deform(AttributeMap& attributes, DeformAttributes& record) override;
    void notify() override;
    int prepareDeviceData(AttributeMap& attributes, DeviceDeformAttributes& record) override;
    void invalidateDeviceData() override;

    SurfaceData surfaceData;      // the driving surface of the latest evaluation
    SurfaceData restSurfaceData;  // the surface at the latest cache refresh
    std::vector<Imath::M44d, LineAligned<Imath::M44d>> restFrameInverses;  // per point: inverse surface frame at rest

    // Slot order is push, the four slide maps, the four push-in maps, the four push-out maps.
    MapCache pushMap;
    MapCache umap;
    MapCache dmap;
    MapCache lmap;
    MapCache rmap;
    MapCache upushInMap;
    MapCache dpushInMap;
    MapCache lpushInMap;
    MapCache rpushInMap;
    MapCache upushOutMap;
    MapCache dpushOutMap;
    MapCache lpushOutMap;
    MapCache rpushOutMap;
    MAutoCLMem spareDeviceMemory;

    bool cpuRefreshPending;
    bool gpuRefreshPending;

private:
    // The thirteen caches in slot order, as the slide's inputs index them.
    std::array<const MapCache*, 13> mapCaches() const {
        return {&pushMap,    &umap,       &dmap,       &lmap,        &rmap,        &upushInMap, &dpushInMap,
                &lpushInMap, &rpushInMap, &upushOutMap, &dpushOutMap, &lpushOutMap, &rpushOutMap};
    }
    int checkEvaluationInputs(const NodeAttributes& attributes, int32_t count);
    int readSurface(const NodeAttributes& attributes);
    bool cachesDue(bool refreshPending, bool cacheAttributes, int32_t count) const;
    // Takes the rest surface from surfaceData, which the caller has just read. Returns how
    // many leading points have their rest frames: all of them with `restFrames`; without, a
    // task of the pool computes them from the first point on only while this thread scatters
    // the maps, and the wide slide fills the rest in its own pass.
    int32_t refreshCaches(const NodeAttributes& attributes, int32_t count, quelvarn::kernels::SlideBuild build,
                          bool restFrames = true);
};

#define QUELVARN_EXPORT extern "C" __attribute__((visibility("default")))

QUELVARN_EXPORT KxNode* create();
QUELVARN_EXPORT int help(AttributeMap& attributes);
QUELVARN_EXPORT int resetParams(AttributeMap& attributes);
