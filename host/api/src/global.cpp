#include <maya/MGlobal.h>

#include <cstdio>
#include <mutex>

#include "hostapi/objects.h"

namespace hostapi {
namespace {
std::mutex logMutex;
std::vector<LoggedMessage> log;
bool echo = true;
bool held = false;
size_t firstHeld = 0;  // the first logged message not yet echoed while held

void print(const LoggedMessage& message) {
    std::fprintf(stderr, "%s%s\n", message.kind == LoggedMessage::Kind::Error ? "// Error: " : "// ",
                 message.text.c_str());
}

void record(LoggedMessage::Kind kind, const char* text) {
    std::lock_guard<std::mutex> lock(logMutex);
    log.push_back({kind, text});
    if (echo && !held) print(log.back());
}
}  // namespace

const std::vector<LoggedMessage>& messageLog() { return log; }
void clearMessageLog() {
    std::lock_guard<std::mutex> lock(logMutex);
    log.clear();
}
void setEchoMessages(bool value) { echo = value; }

void holdEchoedMessages(bool hold) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (hold && !held) firstHeld = log.size();
    if (!hold && held && echo) {
        for (size_t k = firstHeld; k < log.size(); ++k) print(log[k]);
    }
    held = hold;
}

}  // namespace hostapi

// Worker threads of a parallel loop may report at the same time: the log is locked.
void MGlobal::displayError(const MString& text) { hostapi::record(hostapi::LoggedMessage::Kind::Error, text.asChar()); }
void MGlobal::displayInfo(const MString& text) { hostapi::record(hostapi::LoggedMessage::Kind::Info, text.asChar()); }
