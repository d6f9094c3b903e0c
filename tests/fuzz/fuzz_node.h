#pragma once
// The one node the command and evaluation targets drive, with host messages kept quiet.

#include <memory>

#include <hostapi/objects.h>

#include "deformer_node.h"
#include "fuzz_geometry.h"
#include "fuzz_input.h"

namespace fuzzing {

inline ostrivel::DeformerNode& fuzzNode() {
    static auto library = std::make_shared<ostrivel::PluginLibrary>(ostrivel::PluginLibrary::defaultPath());
    static ostrivel::DeformerNode* node = [] {
        hostapi::setEchoMessages(false);
        return new ostrivel::DeformerNode(library, "fuzz1");
    }();
    return *node;
}

}  // namespace fuzzing
