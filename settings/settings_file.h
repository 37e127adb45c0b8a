#pragma once
// The .set text file: one section per device, written as a backup before a
// store and read back by a restore.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/local_time.h"
#include "settings/speed_values.h"

namespace spelvane {

constexpr size_t kSettingsFileNameSize = 260;  // terminator included
constexpr size_t kSettingsLineSize = 512;      // a section line, line feed and terminator included
constexpr const char* kSettingsLineEnd = "\r\r\n";
// The longest line the reader takes whole: kSettingsLineSize bytes, line
// feed and terminator included.
constexpr size_t kLongestSettingsLine = kSettingsLineSize - 2;

// Writing: settings_file_writer.cpp.

// The character a display name contributes to a file name: characters that
// would leave the current directory or that Windows refuses in a name (path
// separators, drive colon, wildcards, quotes, control characters) become '_'.
char fileNameCharacter(char c);

// "<displayName>_YYYYMMDDhhmmss.set". A display name too long for the buffer
// is shortened so that the stamp and the extension always stay whole.
void buildSettingsFileName(char (&name)[kSettingsFileNameSize], const char* displayName,
                           const platform::LocalTime& localTime);

// The section text of one device, every line ending in CR CR LF. False (and
// out left empty) when the counts lie beyond what the record can hold.
bool formatSettingsSection(const std::string& typeName, const SpeedValues& values,
                           std::string& out);

// Whether a DEVICE line of typeName reads back as that very name, so that a
// restore finds the device again: no line end inside it, short enough for
// a whole line.
bool typeNameCarried(const std::string& typeName);

// Reading: settings_file_reader.cpp.

// Number forms of the reader. Decimal: blanks and tabs skipped, a sign,
// digits; saturates at the signed 32-bit range. Hexadecimal: blanks and tabs
// skipped, a sign, an optional 0x, digits; more than eight significant
// digits give all ones, a minus negates modulo 2^32. No digits read as 0.
int32_t parseSettingsDecimal(const char* text);
uint32_t parseSettingsHex(const char* text);

// How a .set file begins. Notepad puts the UTF-8 signature (EF BB BF) before
// the text when it saves as UTF-8, and writes two bytes a character, after
// FF FE or FE FF, when it saves as "Unicode".
enum class SettingsFileStart { Text, Unicode };
// Called on a file just opened: reads past a UTF-8 signature, so the text
// reads as it would without one. A Unicode file is no text the reader can
// take; it is left where it was.
SettingsFileStart skipSettingsFileSignature(std::FILE* file);

// Reads the lines of one section until the next "DEVICE=" line (left
// unread) or the end of the file, and puts what it states into work. The
// section must state every value a store writes, each once: HCLOCK, NADDR,
// ADDRS with at least NADDR addresses, NLIGHT, and LIGHT0 to
// LIGHT<NLIGHT-1> with at least NADDR + 1 words each. More is read but
// never put into work: up to 16 addresses, up to 8 words a light, and the
// lines of light slots up to 4; tokens after those are passed over. Each
// value read is a whole number of the forms above (at least one digit,
// blanks around it) that fits its field uncut: addresses 00..ff, words
// 0000..ffff, counts within the record, and the address list holds
// register 9. Otherwise false with a reason that names the first offending
// line, and work is left as it was. A line longer than
// kLongestSettingsLine characters refuses the section too.
bool readSettingsSection(std::FILE* file, SpeedValues& work, std::string& refusal);

// Whether line opens a section ("DEVICE=..."); typeName then holds the
// device type it names, without line end and trailing blanks.
bool sectionHeading(const char* line, std::string& typeName);

// Reads whole lines up to and including the next section heading; false at
// the end of the file. Only a line that begins with "DEVICE=" heads a
// section, however long the lines before it.
bool nextSectionHeading(std::FILE* file, std::string& typeName);

// Whether a section headed with sectionType belongs to record: its type
// exactly (trailing blanks aside), an empty one only to an empty one; a
// shorter type name that only begins the value is no match.
struct SpeedSettings;
bool typeNamesMatch(const std::string& sectionType, const std::string& deviceType);
bool sectionIsFor(const std::string& sectionType, const SpeedSettings& record);

}  // namespace spelvane
