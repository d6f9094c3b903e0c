// help and resetParams on command maps built from fuzz input: each preamble key and
// record missing, of the wrong class, an empty owner, a null pointer or proper; OUTPUT
// absent or of any class; run attributes with hostile surfaces; points that are not
// finite. A command may end only with 0, 1 after at least one error line, or the map's
// out-of-range failure "invalid map<K, T> key".

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <hostapi/objects.h>

#include "fuzz_node.h"

using fuzzing::FuzzInput;
using fuzzing::fuzzNode;

namespace {

// One key in one of its states; `proper` is the value a correct host would store.
void place(FuzzInput& in, AttributeMap& map, const char* key, std::shared_ptr<KxData> proper) {
    switch (in.pick(16)) {  // mostly proper, so commands get past the preamble
        case 11: break;
        case 12: map[key] = nullptr; break;
        case 13: map[key] = std::make_shared<KxFloat>(); break;
        case 14: map[key] = ostrivel::makePointerValue(nullptr); break;
        case 15: map[key] = std::make_shared<KxString>("fuzz"); break;
        default: map[key] = std::move(proper); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    ostrivel::DeformerNode& node = fuzzNode();
    GetAttributes getAttributes;
    DeformAttributes deformAttributes;
    const size_t points = in.pick(6);
    for (size_t k = 0; k < points; ++k) deformAttributes.points.push_back({in.number(), in.number(), in.number()});
    RunAttributes runAttributes;
    auto surface = std::make_shared<KxNurbsSurface>();
    surface->value = fuzzing::fuzzSurface(in);
    place(in, runAttributes, "quelvarn__surface", surface);

    AttributeMap map;
    place(in, map, "HELP", std::make_shared<KxBoolean>());
    place(in, map, "NODE_NAME", std::make_shared<KxString>("fuzz1"));
    place(in, map, "KX_NODE_PTR", ostrivel::makePointerValue(&node.node()));
    place(in, map, "GET_ATTRIBUTES_PTR", ostrivel::makePointerValue(&getAttributes));
    place(in, map, "RUN_ATTRIBUTES_PTR", ostrivel::makePointerValue(&runAttributes));
    place(in, map, "DEFORM_ATTRIBUTES_PTR", ostrivel::makePointerValue(&deformAttributes));
    place(in, map, "OUTPUT", std::make_shared<KxString>("earlier"));

    hostapi::clearMessageLog();
    const bool help = in.flag();
    int status = -1;
    try {
        status = (help ? node.library().help : node.library().resetParams)(map);
    } catch (const std::out_of_range& failure) {
        if (std::strcmp(failure.what(), "invalid map<K, T> key") != 0) std::abort();
        if (!hostapi::messageLog().empty()) std::abort();  // nothing shown
        return 0;
    }
    size_t errors = 0;
    for (const auto& message : hostapi::messageLog())
        errors += message.kind == hostapi::LoggedMessage::Kind::Error ? 1 : 0;
    if (!((status == 0 && errors == 0) || (status == 1 && errors == 1))) {
        std::fprintf(stderr, "%s: status %d with %zu error lines\n", help ? "help" : "resetParams", status, errors);
        std::abort();
    }
    if (help && status == 0) {
        const auto output = std::dynamic_pointer_cast<KxString>(map["OUTPUT"]);
        if (!output || output->value != "Commands: resetParams") std::abort();
    }
    return 0;
}
