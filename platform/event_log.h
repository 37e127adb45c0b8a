#pragma once
// The system's event log, where a site's administrators collect what every
// workstation reports. Writing to it is best effort: the caller goes on
// whatever it answers.
#include <cstdint>
#include <string>
#include <vector>

namespace spelvane::platform {

enum class EventType { Information, Warning, Error };

// How an event's inserts are written: in the ANSI code page, as the program
// reads a reader's name and most texts from the system, or in UTF-8, as the
// names a walk with the wide functions finds are kept (files.h), letters
// outside the code page included.
enum class EventText { Ansi, Utf8 };

// Reports one event of source to the Application log, naming the user this
// process runs as (eventUserSid); strings are the inserts of the message id
// names in the source's message file. False when the log did not take it.
bool reportEvent(const char* source, EventType type, uint32_t id, const std::vector<std::string>& strings,
                 EventText text = EventText::Ansi);

// Whether source is registered with the Application log (its message file
// named), so that a viewer shows the events' text. Registering is the
// installer's work; without it the events are written all the same.
bool eventSourceRegistered(const char* source);

// The user every event names, so that the event viewer shows who: this
// process's user as a security identifier, "S-1-5-21-..."; "" when it
// cannot be told, or the log names no user (the POSIX stand-in).
std::string eventUserSid();

}  // namespace spelvane::platform
