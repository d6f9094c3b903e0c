// The quelvarn node: its exports, its operations and every assertion it reports.

#include "quelvarn.h"

#include <algorithm>
#include <atomic>
#include <cstring>
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

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>

#include "AttributeLookup.h"
#include "GeometryRules.h"
#include "Messages.h"
#include "ForkJoinHints.h"
#include "slide.h"
#include "slide_kernel.h"
#include "surface_frame.h"

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

// The exact inverse of the evaluation's mapping u = s * domainEnd + domainStart, so a bound
// point evaluates back at its closest point whenever the stored value needs no clamping:
// always for domains with domainStart >= 0 and domainEnd > 0. A domain reaching below 0,
// such as [-1, 1], stores (p + 1) / 1 clamped to [0, 1]: parameters above 0 are kept as 1
// and evaluate at the domain's middle, not at their closest point.
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

static_assert(kMapSlotCount == 13, "one slide map slot per cache");
static_assert(sizeof(Imath::M44d) == 16 * sizeof(double), "rest frames are 16 packed doubles each");

using quelvarn::kernels::SlideBuild;

// The node's 27 attributes of one evaluation, held until the operation returns.
struct NodeAttributes {
    std::shared_ptr<KxNurbsSurface> surface, surfaceBase;
    std::shared_ptr<KxInt> slidingMethod;
    std::shared_ptr<KxFloat> uparams, vparams;
    std::shared_ptr<KxInt> paramType;
    std::shared_ptr<KxFloat> startParam, endParam, pushCoeff, udFactor, lrFactor, lrCenter;
    std::shared_ptr<KxFloat> pushMap;
    std::shared_ptr<KxNurbsCurve> curve, curveBase;
    std::shared_ptr<KxFloat> umap, upushInMap, upushOutMap, dmap, dpushInMap, dpushOutMap;
    std::shared_ptr<KxFloat> lmap, lpushInMap, lpushOutMap, rmap, rpushInMap, rpushOutMap;
};

namespace {

// Fetches in declaration-table order; the first missing or mistyped one is reported.
bool fetchNodeAttributes(const AttributeMap& map, const MObject& node, NodeAttributes& a) {
    return (a.surface = fetchAttribute<KxNurbsSurface>(map, "quelvarn__surface", node)) &&
           (a.surfaceBase = fetchAttribute<KxNurbsSurface>(map, "quelvarn__surfaceBase", node)) &&
           (a.slidingMethod = fetchAttribute<KxInt>(map, "quelvarn__slidingMethod", node)) &&
           (a.uparams = fetchAttribute<KxFloat>(map, "quelvarn__uparams", node)) &&
           (a.vparams = fetchAttribute<KxFloat>(map, "quelvarn__vparams", node)) &&
           (a.paramType = fetchAttribute<KxInt>(map, "quelvarn__paramType", node)) &&
           (a.startParam = fetchAttribute<KxFloat>(map, "quelvarn__startParam", node)) &&
           (a.endParam = fetchAttribute<KxFloat>(map, "quelvarn__endParam", node)) &&
           (a.pushCoeff = fetchAttribute<KxFloat>(map, "quelvarn__push_coeff", node)) &&
           (a.udFactor = fetchAttribute<KxFloat>(map, "quelvarn__ud_factor", node)) &&
           (a.lrFactor = fetchAttribute<KxFloat>(map, "quelvarn__lr_factor", node)) &&
           (a.lrCenter = fetchAttribute<KxFloat>(map, "quelvarn__lr_center", node)) &&
           (a.pushMap = fetchAttribute<KxFloat>(map, "quelvarn__pushMap", node)) &&
           (a.curve = fetchAttribute<KxNurbsCurve>(map, "quelvarn__curve", node)) &&
           (a.curveBase = fetchAttribute<KxNurbsCurve>(map, "quelvarn__curveBase", node)) &&
           (a.umap = fetchAttribute<KxFloat>(map, "quelvarn__umap", node)) &&
           (a.upushInMap = fetchAttribute<KxFloat>(map, "quelvarn__upushInMap", node)) &&
           (a.upushOutMap = fetchAttribute<KxFloat>(map, "quelvarn__upushOutMap", node)) &&
           (a.dmap = fetchAttribute<KxFloat>(map, "quelvarn__dmap", node)) &&
           (a.dpushInMap = fetchAttribute<KxFloat>(map, "quelvarn__dpushInMap", node)) &&
           (a.dpushOutMap = fetchAttribute<KxFloat>(map, "quelvarn__dpushOutMap", node)) &&
           (a.lmap = fetchAttribute<KxFloat>(map, "quelvarn__lmap", node)) &&
           (a.lpushInMap = fetchAttribute<KxFloat>(map, "quelvarn__lpushInMap", node)) &&
           (a.lpushOutMap = fetchAttribute<KxFloat>(map, "quelvarn__lpushOutMap", node)) &&
           (a.rmap = fetchAttribute<KxFloat>(map, "quelvarn__rmap", node)) &&
           (a.rpushInMap = fetchAttribute<KxFloat>(map, "quelvarn__rpushInMap", node)) &&
           (a.rpushOutMap = fetchAttribute<KxFloat>(map, "quelvarn__rpushOutMap", node));
}

// A non-empty curve the kernel can evaluate: its shape rule (degree and knot count). Knot
// order and values are the host's to keep; the node's arithmetic takes them as they come.
bool isValidCurve(const CurveData& curve) { return geometry_rules::curveShapeProblem(curve).ok(); }

// True when indices[k] == first + k for k in [0, run): one pass of comparisons, no branch.
bool namesItsOwnPositions(const int32_t* indices, size_t first, size_t run) {
    int32_t differ = 0;
    for (size_t k = 0; k < run; ++k) differ |= indices[k] ^ static_cast<int32_t>(first + k);
    return differ == 0;
}

// Resizes the cache to `count`, keeping what its entries hold and giving new ones the
// default, then copies the map's entries in order (a later entry for the same point
// wins). Maps whose index and value arrays differ in length copy nothing; indices
// outside [0, count) are skipped.
void scatterMap(const std::vector<float>& values, const std::vector<int32_t>& indices, int32_t count,
                std::vector<float>& cache, float defaultValue) {
    const size_t size = count > 0 ? static_cast<size_t>(count) : 0;
    cache.resize(size, defaultValue);
    if (indices.size() != values.size()) return;
    const size_t used = std::min(size, values.size());
    // A painted map usually names every point in order: a run of entries whose indices are
    // their own positions is one copy. Runs go in order, so a later entry still wins.
    constexpr size_t kRun = 64;
    for (size_t j = 0; j < used;) {
        if (used - j >= kRun && namesItsOwnPositions(indices.data() + j, j, kRun)) {
            std::memcpy(cache.data() + j, values.data() + j, kRun * sizeof(float));
            j += kRun;
            continue;
        }
        for (const size_t end = std::min(used, j + kRun); j < end; ++j) {
            const int32_t index = indices[j];
            if (index >= 0 && index < count) cache[static_cast<size_t>(index)] = values[j];
        }
    }
}

// The wide build for this processor, or the plain per-point slide when the optional
// evaluation setting "REFERENCE_PATH" asks for the reference.
SlideBuild slideBuildFor(const AttributeMap& attributes) {
    const auto found = attributes.find("REFERENCE_PATH");
    if (found != attributes.end()) {
        const auto reference = std::dynamic_pointer_cast<KxBoolean>(found->second);
        if (reference && reference->value) return SlideBuild::plain;
    }
    return quelvarn::kernels::processorSlideBuild();
}

// The parallel loops: TBB over blocked_range<int>, automatic partitioner. The loop splits
// between groups of `lanes` points, so every sub-range but the last starts and ends on a
// whole group of the wide build and no two threads write the same group.
template <class Body>
void parallelOverPoints(int32_t count, const Body& body, int lanes = 1) {
    if (count <= 0) return;
    const int64_t width = lanes > 1 ? lanes : 1;
    const int groups = static_cast<int>((static_cast<int64_t>(count) + width - 1) / width);
    const auto points = [&](const tbb::blocked_range<int>& range) {
        const int64_t end = std::min<int64_t>(static_cast<int64_t>(range.end()) * width, count);
        return tbb::blocked_range<int>(static_cast<int>(range.begin() * width), static_cast<int>(end), 1);
    };
    fork_join_hints::parallelFor(
        tbb::blocked_range<int>(0, groups, 1), [&](const tbb::blocked_range<int>& range) { body(points(range)); },
        tbb::auto_partitioner());
}

// The rest pass body: the inverse rest frame of every point of the range.
struct ComputeRestFrames {
    const std::vector<float>& uparams;
    MyNode& node;
    const std::vector<float>& vparams;
    SlideBuild build;

    void operator()(const tbb::blocked_range<int>& range) const {
        if (build != SlideBuild::plain) {
            quelvarn::kernels::restFrameInverses(build, kernelSurface(node.restSurfaceData), uparams.data(),
                                                 vparams.data(), range.begin(), range.end(),
                                                 reinterpret_cast<double*>(node.restFrameInverses.data()));
            return;
        }
        for (int k = range.begin(); k != range.end(); ++k) {
            node.restFrameInverses[static_cast<size_t>(k)] =
                restFrameInverse(node.restSurfaceData, uparams[static_cast<size_t>(k)], vparams[static_cast<size_t>(k)]);
        }
    }
};

// A refresh evaluation's pass in the wide build: the inverse rest frames of the range and the
// slide of the same points, in one sweep; points below `framesDone` (a whole number of
// groups) already have their rest frames and only slide.
struct RefreshAndSlidePoints {
    const quelvarn::kernels::KernelSlideInputs& wideInputs;
    MyNode& node;
    std::vector<KxPoint>& points;
    SlideBuild build;
    int32_t framesDone;

    void operator()(const tbb::blocked_range<int>& range) const {
        double* const out = reinterpret_cast<double*>(points.data());
        const int split = std::clamp(framesDone, range.begin(), range.end());
        if (range.begin() < split) quelvarn::kernels::slideRange(build, wideInputs, range.begin(), split, out);
        if (split < range.end())
            quelvarn::kernels::refreshAndSlideRange(build, wideInputs,
                                                    reinterpret_cast<double*>(node.restFrameInverses.data()), split,
                                                    range.end(), out);
    }
};

// The deformation pass body: slides every point of the range in place. A failing point
// reports, marks the evaluation failed and ends this sub-range; other sub-ranges run on.
struct SlidePoints {
    const SlideInputs& inputs;
    std::vector<KxPoint>& points;
    std::atomic<int>& status;
    const MObject& node;
    SlideBuild build;
    const quelvarn::kernels::KernelSlideInputs& wideInputs;

    void operator()(const tbb::blocked_range<int>& range) const {
        if (build != SlideBuild::plain) {
            quelvarn::kernels::slideRange(build, wideInputs, range.begin(), range.end(),
                                          reinterpret_cast<double*>(points.data()));
            return;
        }
        for (int i = range.begin(); i != range.end(); ++i) {
            const SlideOutcome outcome = slidePoint(inputs, i, points[static_cast<size_t>(i)]);
            if (outcome == SlideOutcome::EmptyWindow) {
                reportError(assertionText(node, __FILE__, __LINE__, "endParam must be > startParam"));
                status.store(1, std::memory_order_relaxed);
                return;
            }
        }
    }
};

}  // namespace

// The checks that every evaluation makes before it reads the surface; whether the surface
// is supported is asked of the node's copy once it is read (readSurface).
int MyNode::checkEvaluationInputs(const NodeAttributes& a, int32_t count) {
    KX_ASSERT(nodeObject, !a.surface->value.isNull(), "surface is NULL");
    KX_ASSERT(nodeObject, !a.surfaceBase->value.isNull(), "surfaceBase is NULL");
    KX_ASSERT(nodeObject, !a.curve->value.empty(), "curve is NULL");
    KX_ASSERT(nodeObject, !a.curveBase->value.empty(), "curveBase is NULL");
    KX_ASSERT(nodeObject, isValidCurve(a.curve->value), "curve is invalid");
    KX_ASSERT(nodeObject, isValidCurve(a.curveBase->value), "curveBase is invalid");
    KX_ASSERT(nodeObject, static_cast<int64_t>(a.uparams->values.size()) == count,
              "uparams.size() must be = " + std::to_string(count));
    KX_ASSERT(nodeObject, static_cast<int64_t>(a.vparams->values.size()) == count,
              "vparams.size() must be = " + std::to_string(count));
    return 0;
}

bool MyNode::cachesDue(bool refreshPending, bool cacheAttributes, int32_t count) const {
    if (refreshPending || !cacheAttributes) return true;
    // The point count may have changed since the one refresh: never read past a cache.
    const size_t size = static_cast<size_t>(count);
    if (restFrameInverses.size() != size) return true;
    for (const MapCache* cache : mapCaches()) {
        if (cache->values.size() != size) return true;
    }
    return false;
}

// Copies the current surface into surfaceData and checks that the evaluation supports it
// (orders, knot counts, and as many control points as the counts promise).
int MyNode::readSurface(const NodeAttributes& a) {
    readSurfaceData(a.surface->value, surfaceData);
    KX_ASSERT(nodeObject, isSupportedSurface(surfaceData), "surface is not supported");
    return 0;
}

// Rebuilds the rest surface, the rest frames and the thirteen map caches.
int32_t MyNode::refreshCaches(const NodeAttributes& a, int32_t count, SlideBuild build, bool restFrames) {
    restSurfaceData = surfaceData;  // the rest surface is the current one, read just before
    restFrameInverses.resize(static_cast<size_t>(count), Imath::M44d());  // new entries are identities
    const ComputeRestFrames frames{a.uparams->values, *this, a.vparams->values, build};
    if (restFrames) parallelOverPoints(count, frames, quelvarn::kernels::slideLanes(build));
    // In fill order; slide gains default to 1, pushes to 0.
    const struct {
        const KxFloat* map;
        MapCache* cache;
        float fill;
    } maps[] = {{a.pushMap.get(), &pushMap, 0.0f},         {a.umap.get(), &umap, 1.0f},
                {a.upushInMap.get(), &upushInMap, 0.0f},   {a.upushOutMap.get(), &upushOutMap, 0.0f},
                {a.dmap.get(), &dmap, 1.0f},               {a.dpushInMap.get(), &dpushInMap, 0.0f},
                {a.dpushOutMap.get(), &dpushOutMap, 0.0f}, {a.lmap.get(), &lmap, 1.0f},
                {a.lpushInMap.get(), &lpushInMap, 0.0f},   {a.lpushOutMap.get(), &lpushOutMap, 0.0f},
                {a.rmap.get(), &rmap, 1.0f},               {a.rpushInMap.get(), &rpushInMap, 0.0f},
                {a.rpushOutMap.get(), &rpushOutMap, 0.0f}};
    const auto scatterAll = [&] {
        for (const auto& [map, cache, fill] : maps) scatterMap(map->values, map->indices, count, cache->values, fill);
    };
    if (restFrames) {
        scatterAll();
        return count;
    }
    // The maps are scattered on this thread, through memory rather than arithmetic: another
    // thread spends that time on rest frames, a block of whole groups at a time.
    std::atomic<bool> scattered{false};
    int32_t done = 0;
    const int32_t block = 256 * quelvarn::kernels::slideLanes(build);
    fork_join_hints::runBeside(
        [&] {
            while (done < count && !scattered.load(std::memory_order_acquire)) {
                const int32_t end = count - done > block ? done + block : count;
                frames(tbb::blocked_range<int>(done, end));
                done = end;
            }
        },
        [&] {
            scatterAll();
            scattered.store(true, std::memory_order_release);
        });
    return done;
}

int MyNode::deform(AttributeMap& attributes, DeformAttributes& record) {
    std::atomic<int> status{0};
    const auto debugMode = fetchAttribute<KxInt>(attributes, "DEBUG_MODE", nodeObject);
    if (!debugMode) return 1;
    const auto cacheAttributes = fetchAttribute<KxBoolean>(attributes, "CACHE_ATTRIBUTES", nodeObject);
    if (!cacheAttributes) return 1;
    const auto envelope = fetchAttribute<KxFloat>(attributes, "ENVELOPE", nodeObject);
    if (!envelope) return 1;
    const auto soaEnabled = fetchAttribute<KxBoolean>(attributes, "SOA_ENABLED", nodeObject);
    if (!soaEnabled) return 1;

    void*& soaPoints = pointerTable["SOA_POINTS"];
    if (static_cast<double>(envelope->value) < 1e-5) return 0;
    KX_ASSERT(nodeObject, !soaEnabled->value || soaPoints != nullptr, "SOA_POINTS is NULL");
    const int32_t count = soaEnabled->value ? static_cast<const SoaPointsRecord*>(soaPoints)->pointCount
                                            : static_cast<int32_t>(record.points.size());

    NodeAttributes a;
    if (!fetchNodeAttributes(attributes, nodeObject, a)) return 1;
    if (!record.enabled) {
        cpuRefreshPending = false;
        return 0;
    }
    if (checkEvaluationInputs(a, count) != 0) return 1;

    if (readSurface(a) != 0) return 1;
    const SlideBuild build = slideBuildFor(attributes);
    // An empty window fails in the plain slide, which reports it point by point.
    const bool emptyWindow = !(a.endParam->value - a.startParam->value > 0.0f);
    // Outside the structure-of-arrays mode the wide slide builds the rest frames in its own
    // pass, reusing each frame's point as the attachment.
    const bool refresh = cachesDue(cpuRefreshPending, cacheAttributes->value, count);
    const bool framesInSlide = refresh && !soaEnabled->value && build != SlideBuild::plain && !emptyWindow;
    const int32_t framesDone = refresh ? refreshCaches(a, count, build, !framesInSlide) : 0;

    if (!soaEnabled->value) {
        SlideInputs inputs;
        inputs.weights = record.weights.data();
        inputs.weightCount = record.weights.size();
        inputs.indices = record.indices.data();
        inputs.indexCount = record.indices.size();
        inputs.uparams = a.uparams->values.data();
        inputs.vparams = a.vparams->values.data();
        inputs.paramCount = a.uparams->values.size();
        inputs.surface = &surfaceData;
        inputs.restSurface = &restSurfaceData;
        inputs.restFrameInverses = restFrameInverses.data();
        const auto caches = mapCaches();
        for (int slot = 0; slot < kMapSlotCount; ++slot) inputs.maps[slot] = caches[slot]->values.data();
        inputs.cacheCount = restFrameInverses.size();
        inputs.curve = &a.curve->value;
        inputs.curveBase = &a.curveBase->value;
        inputs.settings.envelope = envelope->value;
        inputs.settings.paramType = a.paramType->value;
        inputs.settings.startParam = a.startParam->value;
        inputs.settings.endParam = a.endParam->value;
        inputs.settings.lrCenter = a.lrCenter->value;
        inputs.settings.udFactor = a.udFactor->value;
        inputs.settings.lrFactor = a.lrFactor->value;
        inputs.settings.pushCoeff = a.pushCoeff->value;
        inputs.settings.slidingMethod = a.slidingMethod->value;
        const quelvarn::kernels::KernelSlideInputs wideInputs = kernelSlideInputs(inputs);
        if (framesInSlide) {
            parallelOverPoints(count, RefreshAndSlidePoints{wideInputs, *this, record.points, build, framesDone},
                               quelvarn::kernels::slideLanes(build));
        } else {
            parallelOverPoints(static_cast<int32_t>(record.points.size()),
                               SlidePoints{inputs, record.points, status, nodeObject,
                                           emptyWindow ? SlideBuild::plain : build, wideInputs},
                               quelvarn::kernels::slideLanes(build));
        }
    }
    cpuRefreshPending = false;
    return status.load(std::memory_order_relaxed);
}

int MyNode::prepareDeviceData(AttributeMap& attributes, DeviceDeformAttributes& record) {
    if (!fetchAttribute<KxInt>(attributes, "DEBUG_MODE", nodeObject)) return 1;
    const auto cacheAttributes = fetchAttribute<KxBoolean>(attributes, "CACHE_ATTRIBUTES", nodeObject);
    if (!cacheAttributes) return 1;
    if (!fetchAttribute<KxFloat>(attributes, "ENVELOPE", nodeObject)) return 1;  // no envelope exit here
    const bool refreshPending = gpuRefreshPending;

    NodeAttributes a;
    if (!fetchNodeAttributes(attributes, nodeObject, a)) return 1;
    const int32_t count = record.pointCount;
    if (checkEvaluationInputs(a, count) != 0) return 1;

    if (readSurface(a) != 0) return 1;
    if (cachesDue(refreshPending, cacheAttributes->value, count)) refreshCaches(a, count, slideBuildFor(attributes));
    gpuRefreshPending = false;
    return 0;
}
