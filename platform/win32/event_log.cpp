#include "platform/event_log.h"

#include <windows.h>
#include <sddl.h>

#include <vector>

#include "platform/win32/owned_handle.h"
#include "platform/win32/registry_key.h"
#include "platform/win32/wide_text.h"

namespace spelvane::platform {
namespace {

// The event log keeps text in UTF-16.
std::wstring wide(const std::string& text, EventText coding) {
    return wideText(text, coding == EventText::Utf8 ? CP_UTF8 : CP_ACP);
}

class EventSource {
public:
    explicit EventSource(const char* source)
        : handle_(RegisterEventSourceW(nullptr, wide(source, EventText::Ansi).c_str())) {}
    ~EventSource() {
        if (handle_) DeregisterEventSource(handle_);
    }
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// The user this process runs as, which every event names so that the
// viewer shows who made the change: the security identifier of its token.
class ProcessUser {
public:
    ProcessUser() {
        OwnedHandle token;
        DWORD size = 0;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.out())) return;
        GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
        if (size < sizeof(TOKEN_USER)) return;
        buffer_.resize(size);
        if (!GetTokenInformation(token.get(), TokenUser, buffer_.data(), size, &size)) buffer_.clear();
    }
    // Null when it cannot be told: the event is reported without it.
    PSID sid() const {
        if (buffer_.empty()) return nullptr;
        const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer_.data())->User.Sid;
        return IsValidSid(sid) ? sid : nullptr;
    }

private:
    // new[] aligns it for the TOKEN_USER it holds.
    std::vector<BYTE> buffer_;
};

// A security identifier in its string form, "S-1-5-21-...", as the system
// writes it; null when it cannot.
class SidText {
public:
    explicit SidText(PSID sid) {
        if (!sid || !ConvertSidToStringSidW(sid, &text_)) text_ = nullptr;
    }
    ~SidText() {
        if (text_) LocalFree(text_);
    }
    SidText(const SidText&) = delete;
    SidText& operator=(const SidText&) = delete;
    const wchar_t* get() const { return text_; }

private:
    LPWSTR text_ = nullptr;
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

bool reportEvent(const char* source, EventType type, uint32_t id, const std::vector<std::string>& strings,
                 EventText coding) {
    EventSource log(source);
    if (!log.get()) return false;
    std::vector<std::wstring> texts;
    for (const std::string& text : strings) texts.push_back(wide(text, coding));
    std::vector<LPCWSTR> inserts;
    for (const std::wstring& text : texts) inserts.push_back(text.c_str());
    const ProcessUser user;
    return ReportEventW(log.get(), eventTypeOf(type), 0, id, user.sid(), static_cast<WORD>(inserts.size()), 0,
                        inserts.empty() ? nullptr : inserts.data(), nullptr) != FALSE;
}

std::string eventUserSid() {
    const ProcessUser user;
    SidText text(user.sid());
    // Digits, letters and dashes only.
    std::string sid;
    for (const wchar_t* c = text.get(); c && *c; ++c) sid += static_cast<char>(*c);
    return sid;
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
