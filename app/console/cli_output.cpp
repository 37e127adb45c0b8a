#include "app/console/cli_output.h"

#include <cstdio>

#include "app/change_history.h"
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

// One number as appendf writes it.
std::string hex(const char* format, uint32_t value) {
    std::string text;
    appendf(text, format, value);
    return text;
}

std::string fieldName(const StoredFieldChange& change) {
    using Field = StoredFieldChange::Field;
    switch (change.field) {
    case Field::HalfClock: return "Half Clock";
    case Field::AddressCount: return "address count";
    case Field::Address: return "address " + std::to_string(change.index);
    case Field::LightCount: return "light count";
    case Field::LightWord: {
        std::string name = "light " + std::to_string(change.light) + " word " + std::to_string(change.index);
        if (change.registerNumber >= 0) name += " (register " + hex("%02x", change.registerNumber) + ")";
        return name;
    }
    }
    return "?";
}

// A value as the .set file and show write it.
std::string fieldValue(const StoredFieldChange& change, uint32_t value) {
    using Field = StoredFieldChange::Field;
    switch (change.field) {
    case Field::HalfClock: return value ? "on" : "off";
    case Field::AddressCount:
    case Field::LightCount: return std::to_string(value);
    case Field::Address: return hex("%02x", value);
    case Field::LightWord: return hex("%04x", value);
    }
    return std::to_string(value);
}

const char* outcomeKey(ReportKind kind, ReaderReport::Outcome outcome) {
    using Outcome = ReaderReport::Outcome;
    switch (outcome) {
    case Outcome::Same: return kind == ReportKind::Verify ? "matches" : "no changes";
    case Outcome::Different: return kind == ReportKind::Verify ? "differs" : "changes";
    case Outcome::NoSection: return "no section";
    case Outcome::Refused: return "refused";
    }
    return "?";
}

const char* commandKey(ReportKind kind) {
    switch (kind) {
    case ReportKind::Verify: return "verify";
    case ReportKind::StorePreview: return "store";
    case ReportKind::RestorePreview: return "restore";
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
            out += who + (kind == ReportKind::Verify ? "matches " + file : std::string("No changes")) + "\n";
            break;
        case Outcome::Different:
            for (const StoredFieldChange& change : reader.changes) {
                out += who + fieldName(change) + ": ";
                if (kind == ReportKind::Verify)
                    out += "file " + fieldValue(change, change.to) + ", device " + fieldValue(change, change.from);
                else
                    out += fieldValue(change, change.from) + " -> " + fieldValue(change, change.to);
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
            if (kind == ReportKind::StorePreview)
                out += who + "the change would be refused: " + reader.reason + "\n";
            else
                out += who + "its section in " + file + " is refused: " + reader.reason + "\n";
            break;
        }
    }
    return out;
}

std::string formatReportJson(ReportKind kind, const std::vector<ReaderReport>& readers, const std::string& file) {
    std::string out = std::string("{\"command\": \"") + commandKey(kind) + "\"";
    if (kind != ReportKind::Verify) out += ", \"dryRun\": true";
    if (kind != ReportKind::StorePreview) out += ", \"file\": " + jsonString(file);
    out += ", \"readers\": [";
    for (size_t r = 0; r < readers.size(); ++r) {
        const ReaderReport& reader = readers[r];
        out += r ? ",\n  {" : "\n  {";
        out += "\"name\": " + jsonString(reader.name) + ", \"type\": " + jsonString(reader.type);
        out += std::string(", \"outcome\": \"") + outcomeKey(kind, reader.outcome) + "\"";
        if (reader.outcome == ReaderReport::Outcome::Refused) out += ", \"reason\": " + jsonString(reader.reason);
        out += kind == ReportKind::Verify ? ", \"differences\": " : ", \"changes\": ";
        out += formatChangesJson(reader.changes, "  ");
        if (kind != ReportKind::Verify) {
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
        // "interrupted" only for a reader that holds part of the change:
        // a script that restores on it never undoes a finished one.
        const std::optional<UnfinishedChange>& unfinished = devices[d].unfinished;
        const bool interrupted = unfinished && unfinished->interrupted();
        out += "]" + libraryObject + ", \"interrupted\": " + unfinishedJson(interrupted ? unfinished : std::nullopt, false);
        out += ", \"noOutcome\": " + unfinishedJson(unfinished, true) + "}";
    }
    return out + (devices.empty() ? "]\n" : "\n]\n");
}

}  // namespace spelvane::cli
