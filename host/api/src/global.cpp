#include <maya/MGlobal.h>

#include <cstdio>
#include <mutex>

#include "hostapi/objects.h"

namespace hostapi {
namespace {
std::mutex logMutex;
std::vector<LoggedMessage> log;
bool echo = true;

void record(LoggedMessage::Kind kind, const char* text) {
    std::lock_guard<std::mutex> lock(logMutex);
    log.push_back({kind, text});
    if (echo) std::fprintf(stderr, "%s%s\n", kind == LoggedMessage::Kind::Error ? "// Error: " : "// ", text);
}
}  // namespace

const std::vector<LoggedMessage>& messageLog() { return log; }
void clearMessageLog() {
    std::lock_guard<std::mutex> lock(logMutex);
    log.clear();
}
void setEchoMessages(bool value) { echo = value; }

}  // namespace hostapi

// Worker threads of a parallel loop may report at the same time: the log is locked.
void MGlobal::displayError(const MString& text) { hostapi::record(hostapi::LoggedMessage::Kind::Error, text.asChar()); }
void MGlobal::displayInfo(const MString& text) { hostapi::record(hostapi::LoggedMessage::Kind::Info, text.asChar()); }
