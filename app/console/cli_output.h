#pragma once
// What spelvane-cli prints of a device's settings, as text for people and
// as JSON for scripts. Pure: the caller gathers the devices and prints.
#include <optional>
#include <string>
#include <vector>

#include "device/call_gate.h"
#include "app/record/change_history.h"
#include "app/record/reader_judgement.h"
#include "settings/history_file.h"
#include "settings/speed_values.h"
#include "settings/stored_changes.h"

namespace spelvane::cli {

struct DeviceView {
    std::string name;  // the device's own name, as the library reports it
    std::string type;  // the type name of its information block
    SpeedValues values;
    // Its last change in this folder's history, when that has no outcome,
    // judged by what the reader holds.
    std::optional<UnfinishedChange> unfinished;
};

std::string formatDevicesText(const std::vector<DeviceView>& devices);

// One JSON array, one object per device, each naming the library that
// serves it; ends with a line end.
std::string formatDevicesJson(const std::vector<DeviceView>& devices, const LibraryIdentity& library);

// The line naming the loaded library and its version word; without a
// library (null), why none was loaded.
std::string formatLibraryText(const LibraryIdentity* library, const char* whyNone);

// What verify or a dry run found for one reader.
struct ReaderReport {
    enum class Outcome { Same, Different, NoSection, Refused };
    std::string name;
    std::string type;
    Outcome outcome = Outcome::Same;
    std::string reason;                      // Refused: why, one line
    std::vector<StoredFieldChange> changes;  // Different: device value (from) to file or new value (to)
    UnchangedWrites rewritten;               // Different, dry runs: what the command writes again as it is
    bool changed = false;                    // sync: a write reached the reader
    bool failed = false;                     // sync: a write or read-back failed
    bool recorded = false;                   // sync: the history holds its outcome, and its event went with it
};

// check and sync hold the readers to values or a reference file (file "").
enum class ReportKind { Verify, StorePreview, RestorePreview, Check, Sync };

// What became of the reader, in the words of the JSON's "outcome".
const char* readerOutcomeName(ReportKind kind, const ReaderReport& reader);

// One line per change or difference, or one for the reader; file names the
// .set file where there is one.
std::string formatReportText(ReportKind kind, const std::vector<ReaderReport>& readers, const std::string& file);
// One JSON object: the command, the file, and per reader its outcome and
// changes (field, index, light, word, register, from, to); a dry run adds
// the writes that carry what the reader already holds (unchangedWrites).
// check and sync add "changed" to every reader, sync the backup it took.
std::string formatReportJson(ReportKind kind, const std::vector<ReaderReport>& readers, const std::string& file,
                             const std::string& backup = std::string());

// The change objects of the dry run's JSON, as one array; indent: what
// the array's own line starts with.
std::string formatChangesJson(const std::vector<StoredFieldChange>& changes, const std::string& indent);

// text as a JSON string literal, quotes included. Device names are bytes
// from the device, not necessarily UTF-8: bytes above 127 are taken as
// Latin-1, so the document stays valid whatever the device reports.
std::string jsonString(const std::string& text);
// The same, or null for an empty text (a file or reason there is none of).
std::string jsonStringOrNull(const std::string& text);

}  // namespace spelvane::cli
