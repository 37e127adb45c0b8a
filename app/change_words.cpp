#include "app/change_words.h"

#include <cstdio>

namespace spelvane {
namespace {

std::string hex(const char* format, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::string changeFieldName(const StoredFieldChange& change) {
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

std::string changeFieldValue(const StoredFieldChange& change, uint32_t value) {
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

std::string changeText(const StoredFieldChange& change) {
    return changeFieldName(change) + ": " + changeFieldValue(change, change.from) + " -> " +
           changeFieldValue(change, change.to);
}

}  // namespace spelvane
