#pragma once
// What storing one set of values over another would change, field by field,
// over exactly what the store sequence writes: for a preview of a store or
// restore, for checking a device against a file, and for the change test
// that decides whether a restore writes at all.
#include <cstdint>
#include <vector>

#include "settings/speed_values.h"

namespace spelvane {

struct StoredFieldChange {
    enum class Field { HalfClock, AddressCount, Address, LightCount, LightWord };
    Field field = Field::HalfClock;
    int index = -1;           // Address: its place in the list; LightWord: the word (0 leads the light)
    int light = -1;           // LightWord: the light
    int registerNumber = -1;  // LightWord from word 1 on: the register whose value the word holds
    uint32_t from = 0;
    uint32_t to = 0;
    bool operator==(const StoredFieldChange&) const = default;
};

// The fields in which `to` differs from `from`: Half Clock, the two counts,
// `to`'s address list and the first addressCount + 1 words of each of its
// lights, in that order. Counts beyond the record are read only as far as
// the record holds.
std::vector<StoredFieldChange> storedValueChanges(const SpeedValues& from, const SpeedValues& to);

// The writes a store of `to` over `from` sends (the register list, each of
// `to`'s lights, the header) that carry exactly what the device holds there:
// the store sends them all the same.
struct UnchangedWrites {
    bool addressList = false;
    std::vector<int> lights;
    bool header = false;
    bool any() const { return addressList || !lights.empty() || header; }
};
UnchangedWrites unchangedWrites(const SpeedValues& from, const SpeedValues& to);

// The value `values` holds in the place a change names; false for a place
// beyond what the record holds.
bool fieldValueHeld(const SpeedValues& values, const StoredFieldChange& change, uint32_t& value);

// Whether storing `to` over `from` would change anything.
bool storedValuesDiffer(const SpeedValues& to, const SpeedValues& from);

}  // namespace spelvane
