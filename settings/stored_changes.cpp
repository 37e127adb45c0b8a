#include "settings/stored_changes.h"

namespace spelvane {
namespace {

StoredFieldChange change(StoredFieldChange::Field field, uint32_t from, uint32_t to) {
    StoredFieldChange result;
    result.field = field;
    result.from = from;
    result.to = to;
    return result;
}

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
    const int words = addresses + 1 < kLightWords ? addresses + 1 : kLightWords;
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

bool storedValuesDiffer(const SpeedValues& to, const SpeedValues& from) {
    return !storedValueChanges(from, to).empty();
}

}  // namespace spelvane
