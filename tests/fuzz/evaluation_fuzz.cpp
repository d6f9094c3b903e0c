// deform and prepareDeviceData on attribute maps built from fuzz input: keys missing or
// of the wrong class, empty owners, non-finite scalars, arrays of the wrong length,
// sparse indices negative, far out of range or repeated, point counts that change
// between evaluations, and degenerate surfaces and curves. Every call must end with
// status 0 and no error line, or status 1 and at least one (the slide loop may report
// once per failing task); memory errors are the sanitizers' to catch.

#include <cstdlib>
#include <cstdio>

#include <hostapi/objects.h>

#include "fuzz_node.h"

using fuzzing::FuzzInput;
using fuzzing::fuzzNode;

namespace {

enum Kind { Bool, Int, Float, PerPoint, Surface, Curve };

struct Key {
    const char* name;
    Kind kind;
};

const Key kKeys[] = {
    {"DEBUG_MODE", Int},          {"CACHE_ATTRIBUTES", Bool},        {"ENVELOPE", Float},
    {"SOA_ENABLED", Bool},        {"quelvarn__surface", Surface},    {"quelvarn__surfaceBase", Surface},
    {"quelvarn__slidingMethod", Int}, {"quelvarn__uparams", PerPoint}, {"quelvarn__vparams", PerPoint},
    {"quelvarn__paramType", Int}, {"quelvarn__startParam", Float},   {"quelvarn__endParam", Float},
    {"quelvarn__push_coeff", Float}, {"quelvarn__ud_factor", Float}, {"quelvarn__lr_factor", Float},
    {"quelvarn__lr_center", Float}, {"quelvarn__pushMap", PerPoint}, {"quelvarn__curve", Curve},
    {"quelvarn__curveBase", Curve}, {"quelvarn__umap", PerPoint},    {"quelvarn__upushInMap", PerPoint},
    {"quelvarn__upushOutMap", PerPoint}, {"quelvarn__dmap", PerPoint}, {"quelvarn__dpushInMap", PerPoint},
    {"quelvarn__dpushOutMap", PerPoint}, {"quelvarn__lmap", PerPoint}, {"quelvarn__lpushInMap", PerPoint},
    {"quelvarn__lpushOutMap", PerPoint}, {"quelvarn__rmap", PerPoint}, {"quelvarn__rpushInMap", PerPoint},
    {"quelvarn__rpushOutMap", PerPoint},
};

std::shared_ptr<KxData> properValue(FuzzInput& in, Kind kind, size_t points) {
    switch (kind) {
        case Bool: {
            auto value = std::make_shared<KxBoolean>();
            value->value = in.flag();
            return value;
        }
        case Int: {
            auto value = std::make_shared<KxInt>();
            value->value = in.pick(8) == 7 ? in.int32() : static_cast<int32_t>(in.pick(2));
            return value;
        }
        case Float: {
            auto value = std::make_shared<KxFloat>();
            value->value = in.pick(4) == 3 ? in.number32() : static_cast<float>(in.pick(5)) * 0.25f;
            return value;
        }
        case PerPoint: {
            auto value = std::make_shared<KxFloat>();
            size_t count = points;
            if (in.pick(8) == 7) count = in.pick(static_cast<uint32_t>(points) + 3);
            const bool identity = in.pick(4) != 3;
            for (size_t k = 0; k < count; ++k) {
                value->values.push_back(in.pick(4) == 3 ? in.number32() : static_cast<float>(in.pick(5)) * 0.25f);
                int32_t index = static_cast<int32_t>(k);
                if (!identity) {
                    switch (in.pick(4)) {
                        case 0: index = -1 - static_cast<int32_t>(in.pick(3)); break;
                        case 1: index = in.int32(); break;  // far out of range, either side
                        case 2: index = static_cast<int32_t>(in.pick(static_cast<uint32_t>(points) + 1)); break;
                        default: break;
                    }
                }
                value->indices.push_back(index);
            }
            if (in.pick(8) == 7 && !value->indices.empty()) value->indices.pop_back();  // lengths differ
            return value;
        }
        case Surface: {
            auto value = std::make_shared<KxNurbsSurface>();
            value->value = fuzzing::fuzzSurface(in);
            return value;
        }
        case Curve: {
            auto value = std::make_shared<KxNurbsCurve>();
            value->value = fuzzing::fuzzCurve(in);
            return value;
        }
    }
    return nullptr;
}

AttributeMap fuzzMap(FuzzInput& in, size_t points) {
    AttributeMap map;
    for (const Key& key : kKeys) {
        switch (in.pick(64)) {  // mostly proper, so evaluations get past the lookups
            case 61: break;  // missing
            case 62: map[key.name] = nullptr; break;
            case 63: map[key.name] = key.kind == Float || key.kind == PerPoint ? std::shared_ptr<KxData>(std::make_shared<KxInt>())
                                                                              : std::make_shared<KxFloat>();
                break;
            default: map[key.name] = properValue(in, key.kind, points); break;
        }
    }
    return map;
}

void checkOutcome(int status, const char* operation) {
    size_t errors = 0;
    for (const auto& message : hostapi::messageLog())
        errors += message.kind == hostapi::LoggedMessage::Kind::Error ? 1 : 0;
    const bool defined = (status == 0 && errors == 0) || (status == 1 && errors >= 1);
    if (!defined) {
        std::fprintf(stderr, "%s: status %d with %zu error lines\n", operation, status, errors);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    ostrivel::DeformerNode& node = fuzzNode();
    if (in.flag()) node.invalidateDeviceData();
    // Two evaluations on the same node: caches, flags and point counts carry over.
    for (int evaluation = 0; evaluation < 2; ++evaluation) {
        const size_t points = 1 + in.pick(8);
        AttributeMap map = fuzzMap(in, points);
        hostapi::clearMessageLog();
        if (in.flag()) {
            DeviceDeformAttributes record;
            record.pointCount = in.pick(8) == 7 ? in.int32() : static_cast<int32_t>(points);
            checkOutcome(node.node().prepareDeviceData(map, record), "prepareDeviceData");
        } else {
            DeformAttributes record;
            record.enabled = in.pick(8) != 7;
            for (size_t k = 0; k < points; ++k) record.points.push_back({in.number(), in.number(), in.number()});
            const size_t weights = in.pick(8) == 7 ? in.pick(10) : points;
            for (size_t k = 0; k < weights; ++k) record.weights.push_back(in.pick(4) == 3 ? in.number32() : 1.0f);
            const size_t indices = in.pick(8) == 7 ? in.pick(10) : points;
            for (size_t k = 0; k < indices; ++k)
                record.indices.push_back(in.pick(8) == 7 ? in.int32() : static_cast<int32_t>(k));
            SoaPointsRecord soa;
            soa.pointCount = in.pick(8) == 7 ? in.int32() : static_cast<int32_t>(points);
            node.node().pointerTable["SOA_POINTS"] = in.pick(8) == 7 ? nullptr : &soa;
            checkOutcome(node.node().deform(map, record), "deform");
            node.node().pointerTable.erase("SOA_POINTS");
        }
    }
    return 0;
}
