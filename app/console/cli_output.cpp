#include "app/console/cli_output.h"

#include <cstdio>

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
    }
    return out;
}

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
    std::string out = "Library: " + library->path;
    if (library->hasVersion) appendf(out, ", version 0x%08x\n", static_cast<uint32_t>(library->version));
    else out += ", no version word\n";
    return out;
}

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
        out += "]" + libraryObject + "}";
    }
    return out + (devices.empty() ? "]\n" : "\n]\n");
}

}  // namespace spelvane::cli
