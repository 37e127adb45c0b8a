#include "platform/event_log.h"

#include <cstdio>
#include <cstdlib>

namespace spelvane::platform {
namespace {

// No system event log here: the file SPELVANE_EVENT_LOG names stands in for
// it, one line per event, so the native tests see what would be reported.
const char* sinkPath() {
    const char* path = std::getenv("SPELVANE_EVENT_LOG");
    return path && *path ? path : nullptr;
}

const char* typeName(EventType type) {
    switch (type) {
    case EventType::Information: return "information";
    case EventType::Warning: return "warning";
    case EventType::Error: return "error";
    }
    return "?";
}

}  // namespace

// The stand-in writes the inserts' bytes as they come, in either coding.
bool reportEvent(const char* source, EventType type, uint32_t id, const std::vector<std::string>& strings, EventText) {
    const char* path = sinkPath();
    if (!path) return false;
    std::FILE* file = std::fopen(path, "ab");
    if (!file) return false;
    std::fprintf(file, "%s %u %s", source, static_cast<unsigned>(id), typeName(type));
    for (const std::string& text : strings) std::fprintf(file, " | %s", text.c_str());
    std::fputc('\n', file);
    return std::fclose(file) == 0;
}

bool eventSourceRegistered(const char*) { return sinkPath() != nullptr; }

// The stand-in names no user.
std::string eventUserSid() { return {}; }

}  // namespace spelvane::platform
