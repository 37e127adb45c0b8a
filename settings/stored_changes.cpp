#include "settings/stored_changes.h"

#include <cstring>

namespace spelvane {
namespace {

StoredFieldChange change(StoredFieldChange::Field field, uint32_t from, uint32_t to) {
    StoredFieldChange result;
    result.field = field;
    result.from = from;
    result.to = to;
    return result;
}

// The words of a light record a store writes: the leading word and one per
// listed register.
int writtenLightWords(int addresses) { return addresses + 1 < kLightWords ? addresses + 1 : kLightWords; }

}  // namespace

std::vector<StoredFieldChange> storedValueChanges(const SpeedValues& from, const SpeedValues& to) {
    using Field = StoredFieldChange::Field;
    std::vector<StoredFieldChange> changes;
    const auto note = [&](StoredFieldChange found) {
        if (found.from != found.to) changes.push_back(found);
    };
    note(change(Field::HalfClock, from.halfClock ? 1 : 0, to.halfClock ? 1 : 0));
    note(change(Field::AddressCount, from.addressCount, to.addressCount));
    const int addresses = heldAddressCount(to);
    for (int i = 0; i < addresses; ++i) {
        StoredFieldChange address = change(Field::Address, from.addresses[i], to.addresses[i]);
        address.index = i;
        note(address);
    }
    note(change(Field::LightCount, from.lightCount, to.lightCount));
    const int words = writtenLightWords(addresses);
    for (int light = 0; light < heldLightCount(to); ++light) {
        for (int w = 0; w < words; ++w) {
            StoredFieldChange word = change(Field::LightWord, from.lights[light].words[w], to.lights[light].words[w]);
            word.light = light;
            word.index = w;
            if (w > 0) word.registerNumber = to.addresses[w - 1];
            note(word);
        }
    }
    return changes;
}

UnchangedWrites unchangedWrites(const SpeedValues& from, const SpeedValues& to) {
    UnchangedWrites same;
    const int addresses = heldAddressCount(to);
    same.addressList = from.addressCount == to.addressCount &&
                       std::memcmp(from.addresses, to.addresses, static_cast<size_t>(addresses)) == 0;
    const int words = writtenLightWords(addresses);
    for (int light = 0; light < heldLightCount(to); ++light) {
        if (light < from.lightCount &&
            std::memcmp(from.lights[light].words, to.lights[light].words, static_cast<size_t>(words) * sizeof(uint16_t)) == 0)
            same.lights.push_back(light);
    }
    same.header = std::memcmp(headerToStore(to).bytes, from.header.bytes, sizeof from.header.bytes) == 0;
    return same;
}

bool fieldValueHeld(const SpeedValues& values, const StoredFieldChange& change, uint32_t& value) {
    using Field = StoredFieldChange::Field;
    switch (change.field) {
    case Field::HalfClock: value = values.halfClock ? 1 : 0; return true;
    case Field::AddressCount: value = values.addressCount; return true;
    case Field::LightCount: value = values.lightCount; return true;
    case Field::Address:
        if (change.index < 0 || change.index >= kMaxAddresses) return false;
        value = values.addresses[change.index];
        return true;
    case Field::LightWord:
        if (change.light < 0 || change.light >= kMaxLights || change.index < 0 || change.index >= kLightWords)
            return false;
        value = values.lights[change.light].words[change.index];
        return true;
    }
    return false;
}

bool storedValuesDiffer(const SpeedValues& to, const SpeedValues& from) {
    return !storedValueChanges(from, to).empty();
}

}  // namespace spelvane
