#pragma once
// Shared fixtures for tests that drive the real plug-in through the framework host.

#include <memory>
#include <string>
#include <vector>

#include <hostapi/objects.h>

#include "deformer_node.h"
#include "plugin_library.h"

namespace testing_support {

inline std::shared_ptr<ostrivel::PluginLibrary> plugin() {
    static auto library = std::make_shared<ostrivel::PluginLibrary>(ostrivel::PluginLibrary::defaultPath());
    return library;
}

// Messages shown since the last clear, as "error: text" / "info: text" lines.
inline std::vector<std::string> shownMessages() {
    std::vector<std::string> lines;
    for (const auto& message : hostapi::messageLog()) {
        lines.push_back((message.kind == hostapi::LoggedMessage::Kind::Error ? "error: " : "info: ") + message.text);
    }
    return lines;
}

inline void quietLog() {
    hostapi::setEchoMessages(false);
    hostapi::clearMessageLog();
}

}  // namespace testing_support
