#pragma once
// The system's event log, where a site's administrators collect what every
// workstation reports. Writing to it is best effort: the caller goes on
// whatever it answers.
#include <cstdint>
#include <string>
#include <vector>

namespace spelvane::platform {

enum class EventType { Information, Warning, Error };

// Reports one event of source to the Application log, naming the user this
// process runs as (eventUserSid); strings are the inserts of the message id
// names in the source's message file. False when the log did not take it.
bool reportEvent(const char* source, EventType type, uint32_t id, const std::vector<std::string>& strings);

// Whether source is registered with the Application log (its message file
// named), so that a viewer shows the events' text. Registering is the
// installer's work; without it the events are written all the same.
bool eventSourceRegistered(const char* source);

// The user every event names, so that the event viewer shows who: this
// process's user as a security identifier, "S-1-5-21-..."; "" when it
// cannot be told, or the log names no user (the POSIX stand-in).
std::string eventUserSid();

}  // namespace spelvane::platform
