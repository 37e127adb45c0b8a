#include "app/console/cli_output.h"

#include <cstdio>

#include "app/record/change_history.h"
#include "app/change_words.h"
#include "settings/history_file.h"

namespace spelvane::cli {
namespace {

// A light's leading word and one word per listed register, as the .set file
// holds it.
int lightWordCountOf(const SpeedValues& values) {
    const int words = heldAddressCount(values) + 1;
    return words < kLightWords ? words : kLightWords;
}

// Sized by the formatted length itself: a fixed piece once cut ", "hblank":
// 1023" to 102 without a word.
void appendf(std::string& out, const char* format, unsigned value) {
    const int length = std::snprintf(nullptr, 0, format, value);
    if (length <= 0) return;
    std::string piece(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(piece.data(), piece.size(), format, value);
    out.append(piece.data(), static_cast<size_t>(length));
}

}  // namespace

std::string formatDevicesText(const std::vector<DeviceView>& devices) {
    std::string out;
    for (const DeviceView& device : devices) {
        const SpeedValues& values = device.values;
        out += "Device: " + device.name + "\n";
        out += "  Type: " + device.type + "\n";
        out += "  Header:";
        for (uint8_t byte : values.header.bytes) appendf(out, " %02x", byte);
        out += "\n  Addresses:";
        for (int i = 0; i < heldAddressCount(values); ++i) appendf(out, " %02x", values.addresses[i]);
        out += "\n";
        for (int light = 0; light < heldLightCount(values); ++light) {
            appendf(out, "  Light %u:", static_cast<unsigned>(light));
            for (int w = 0; w < lightWordCountOf(values); ++w) appendf(out, " %04x", values.lights[light].words[w]);
            out += "\n";
        }
        appendf(out, "  HBlank: %u", values.hblank);
        appendf(out, " (0x%04x)\n", values.hblank);
        out += values.halfClock ? "  Half Clock: on\n" : "  Half Clock: off\n";
        if (device.unfinished) out += "  " + unfinishedChangeLine(*device.unfinished) + "\n";
    }
    return out;
}

namespace {

bool isDryRun(ReportKind kind) { return kind == ReportKind::StorePreview || kind == ReportKind::RestorePreview; }


const char* commandKey(ReportKind kind) {
    switch (kind) {
    case ReportKind::Verify: return "verify";
    case ReportKind::StorePreview: return "store";
    case ReportKind::RestorePreview: return "restore";
    case ReportKind::Check: return "check";
    case ReportKind::Sync: return "sync";
    }
    return "?";
}

std::string jsonNumberOrNull(int value) { return value >= 0 ? std::to_string(value) : "null"; }

// The writes a store sends again as they are, by the names of the text or
// of the JSON.
std::vector<std::string> rewriteNames(const UnchangedWrites& writes, bool json) {
    std::vector<std::string> names;
    if (writes.addressList) names.push_back(json ? "addressList" : "register list");
    for (int light : writes.lights) names.push_back((json ? "light" : "light ") + std::to_string(light));
    if (writes.header) names.push_back("header");
    return names;
}

}  // namespace

std::string formatChangesJson(const std::vector<StoredFieldChange>& changes, const std::string& indent) {
    std::string out = "[";
    for (size_t c = 0; c < changes.size(); ++c) {
        const StoredFieldChange& change = changes[c];
        const bool word = change.field == StoredFieldChange::Field::LightWord;
        out += (c ? ",\n  " : "\n  ") + indent + "{";
        out += std::string("\"field\": \"") + historyFieldName(change.field) + "\"";
        out += ", \"light\": " + jsonNumberOrNull(change.light);
        out += ", \"word\": " + jsonNumberOrNull(word ? change.index : -1);
        out += ", \"index\": " + jsonNumberOrNull(word ? -1 : change.index);
        out += ", \"register\": " + jsonNumberOrNull(change.registerNumber);
        out += ", \"from\": " + std::to_string(change.from) + ", \"to\": " + std::to_string(change.to) + "}";
    }
    return out + (changes.empty() ? "]" : "\n" + indent + "]");
}

std::string formatReportText(ReportKind kind, const std::vector<ReaderReport>& readers, const std::string& file) {
    using Outcome = ReaderReport::Outcome;
    std::string out;
    for (const ReaderReport& reader : readers) {
        const std::string who = reader.name + " (" + reader.type + "): ";
        switch (reader.outcome) {
        case Outcome::Same:
            if (kind == ReportKind::Verify) out += who + "matches " + file + "\n";
            else if (kind == ReportKind::Check || kind == ReportKind::Sync) out += who + "already holds it\n";
            else out += who + "No changes\n";
            break;
        case Outcome::Different:
            // sync has printed its log: what became of the reader is enough.
            if (kind == ReportKind::Sync && reader.changed) {
                out += who + (reader.failed ? "FAILED" : "written") + "\n";
                break;
            }
            for (const StoredFieldChange& change : reader.changes) {
                out += who + changeFieldName(change) + ": ";
                if (kind == ReportKind::Verify)
                    out += "file " + changeFieldValue(change, change.to) + ", device " + changeFieldValue(change, change.from);
                else
                    out += changeFieldValue(change, change.from) + " -> " + changeFieldValue(change, change.to);
                out += "\n";
            }
            if (reader.rewritten.any()) {
                out += who + "written again unchanged:";
                const std::vector<std::string> names = rewriteNames(reader.rewritten, false);
                for (size_t n = 0; n < names.size(); ++n) out += (n ? ", " : " ") + names[n];
                out += "\n";
            }
            break;
        case Outcome::NoSection:
            out += who + file + " holds no section for it\n";
            break;
        case Outcome::Refused:
            if (file.empty())
                out += who + "the change would be refused: " + reader.reason + "\n";
            else
                out += who + "its section in " + file + " is refused: " + reader.reason + "\n";
            break;
        }
    }
    return out;
}

std::string formatReportJson(ReportKind kind, const std::vector<ReaderReport>& readers, const std::string& file,
                             const std::string& backup) {
    const bool holding = kind == ReportKind::Check || kind == ReportKind::Sync;
    std::string out = std::string("{\"command\": \"") + commandKey(kind) + "\"";
    if (isDryRun(kind)) out += ", \"dryRun\": true";
    if (holding) out += ", \"file\": " + jsonStringOrNull(file);
    else if (kind != ReportKind::StorePreview) out += ", \"file\": " + jsonString(file);
    if (kind == ReportKind::Sync) out += ", \"backup\": " + jsonStringOrNull(backup);
    out += ", \"readers\": [";
    for (size_t r = 0; r < readers.size(); ++r) {
        const ReaderReport& reader = readers[r];
        out += r ? ",\n  {" : "\n  {";
        out += "\"name\": " + jsonString(reader.name) + ", \"type\": " + jsonString(reader.type);
        out += std::string(", \"outcome\": \"") + readerOutcomeName(kind, reader) + "\"";
        if (reader.outcome == ReaderReport::Outcome::Refused) out += ", \"reason\": " + jsonString(reader.reason);
        if (holding) out += reader.changed ? ", \"changed\": true" : ", \"changed\": false";
        out += kind == ReportKind::Verify ? ", \"differences\": " : ", \"changes\": ";
        out += formatChangesJson(reader.changes, "  ");
        if (isDryRun(kind)) {
            out += ", \"unchangedWrites\": [";
            const std::vector<std::string> names = rewriteNames(reader.rewritten, true);
            for (size_t n = 0; n < names.size(); ++n) out += (n ? ", " : "") + jsonString(names[n]);
            out += "]";
        }
        out += "}";
    }
    return out + (readers.empty() ? "]}\n" : "\n]}\n");
}

std::string jsonStringOrNull(const std::string& text) { return text.empty() ? "null" : jsonString(text); }

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (byte < 0x20 || byte >= 0x7f) appendf(out, "\\u%04x", byte);
        else out += c;
    }
    return out + "\"";
}

std::string formatLibraryText(const LibraryIdentity* library, const char* whyNone) {
    if (!library) return std::string("Library: none (") + (whyNone ? whyNone : "") + ")\n";
    return "Library: " + libraryDescription(*library) + "\n";
}

namespace {

const char* heldName(ChangeOnReader held) {
    switch (held) {
    case ChangeOnReader::AllNew: return "finished";
    case ChangeOnReader::AllOld: return "not started";
    case ChangeOnReader::Mixed: break;
    }
    return "interrupted";
}

// A device's last change without outcome: when, what, what restores it and
// the notice; with state, what the reader holds of it. null when there is
// none.
std::string unfinishedJson(const std::optional<UnfinishedChange>& change, bool withState) {
    if (!change) return "null";
    const HistoryEntry& entry = change->entry;
    std::string out = "{\"time\": " + jsonString(entry.run.time) + ", \"command\": " + jsonString(entry.run.command) +
                      ", \"backup\": " + jsonStringOrNull(entry.backup) + ", \"file\": " + jsonStringOrNull(entry.file);
    if (withState) out += std::string(", \"state\": \"") + heldName(change->held) + "\"";
    return out + ", \"notice\": " + jsonString(unfinishedChangeLine(*change)) + "}";
}

}  // namespace

std::string formatDevicesJson(const std::vector<DeviceView>& devices, const LibraryIdentity& library) {
    // The version word as the signed number the library holds; null without one.
    std::string libraryObject = ", \"library\": {\"path\": " + jsonString(library.path) + ", \"version\": ";
    libraryObject += library.hasVersion ? std::to_string(library.version) : std::string("null");
    libraryObject += "}";
    std::string out = "[";
    for (size_t d = 0; d < devices.size(); ++d) {
        const SpeedValues& values = devices[d].values;
        out += d ? ",\n  {" : "\n  {";
        out += "\"name\": " + jsonString(devices[d].name);
        out += ", \"type\": " + jsonString(devices[d].type);
        out += values.halfClock ? ", \"halfClock\": true" : ", \"halfClock\": false";
        appendf(out, ", \"hblank\": %u", values.hblank);
        out += ", \"addresses\": [";
        for (int i = 0; i < heldAddressCount(values); ++i) appendf(out, i ? ", %u" : "%u", values.addresses[i]);
        out += "], \"lights\": [";
        for (int light = 0; light < heldLightCount(values); ++light) {
            out += light ? ", [" : "[";
            for (int w = 0; w < lightWordCountOf(values); ++w)
                appendf(out, w ? ", %u" : "%u", values.lights[light].words[w]);
            out += "]";
        }
        // "interrupted" only for a reader that holds part of the change, cut
        // short or failed: a script that restores on it never undoes a
        // finished one. A failed change has its outcome.
        const std::optional<UnfinishedChange>& unfinished = devices[d].unfinished;
        const bool interrupted = unfinished && unfinished->interrupted();
        const bool noOutcome = unfinished && !unfinished->entry.hasOutcome;
        out += "]" + libraryObject + ", \"interrupted\": " + unfinishedJson(interrupted ? unfinished : std::nullopt, false);
        out += ", \"noOutcome\": " + unfinishedJson(noOutcome ? unfinished : std::nullopt, true) + "}";
    }
    return out + (devices.empty() ? "]\n" : "\n]\n");
}

const char* readerOutcomeName(ReportKind kind, const ReaderReport& reader) {
    using Outcome = ReaderReport::Outcome;
    const bool holding = kind == ReportKind::Check || kind == ReportKind::Sync;
    switch (reader.outcome) {
    case Outcome::Same: return kind == ReportKind::Verify ? "matches" : (holding ? "holds" : "no changes");
    case Outcome::Different:
        // A sync that wrote nothing (its backup failed) leaves it differing.
        if (kind == ReportKind::Sync && reader.changed) return reader.failed ? "failed" : "written";
        return isDryRun(kind) ? "changes" : "differs";
    case Outcome::NoSection: return "no section";
    case Outcome::Refused: return "refused";
    }
    return "?";
}

}  // namespace spelvane::cli
