#include "platform/event_log.h"

#include <windows.h>

#include "platform/win32/registry_key.h"

namespace spelvane::platform {
namespace {

// The event log keeps text in UTF-16; a reader's name comes in the ANSI
// code page, as the rest of the program reads it.
std::wstring wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], length);
    return out;
}

class EventSource {
public:
    explicit EventSource(const char* source) : handle_(RegisterEventSourceW(nullptr, wide(source).c_str())) {}
    ~EventSource() {
        if (handle_) DeregisterEventSource(handle_);
    }
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

WORD eventTypeOf(EventType type) {
    switch (type) {
    case EventType::Information: return EVENTLOG_INFORMATION_TYPE;
    case EventType::Warning: return EVENTLOG_WARNING_TYPE;
    case EventType::Error: return EVENTLOG_ERROR_TYPE;
    }
    return EVENTLOG_INFORMATION_TYPE;
}

}  // namespace

bool reportEvent(const char* source, EventType type, uint32_t id, const std::vector<std::string>& strings) {
    EventSource log(source);
    if (!log.get()) return false;
    std::vector<std::wstring> texts;
    for (const std::string& text : strings) texts.push_back(wide(text));
    std::vector<LPCWSTR> inserts;
    for (const std::wstring& text : texts) inserts.push_back(text.c_str());
    return ReportEventW(log.get(), eventTypeOf(type), 0, id, nullptr, static_cast<WORD>(inserts.size()), 0,
                        inserts.empty() ? nullptr : inserts.data(), nullptr) != FALSE;
}

bool eventSourceRegistered(const char* source) {
    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + source;
    const RegistryKey key(HKEY_LOCAL_MACHINE, path.c_str());
    if (!key.get()) return false;
    // A key without its message file shows the events as text the viewer
    // cannot find: not registered as it should be.
    DWORD type = 0;
    DWORD size = 0;
    return RegQueryValueExA(key.get(), "EventMessageFile", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
           (type == REG_SZ || type == REG_EXPAND_SZ) && size > 1;
}

}  // namespace spelvane::platform
