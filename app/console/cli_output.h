#pragma once
// What spelvane-cli prints of a device's settings, as text for people and
// as JSON for scripts. Pure: the caller gathers the devices and prints.
#include <string>
#include <vector>

#include "device/call_gate.h"
#include "settings/speed_values.h"

namespace spelvane::cli {

struct DeviceView {
    std::string name;  // the device's own name, as the library reports it
    std::string type;  // the type name of its information block
    SpeedValues values;
};

std::string formatDevicesText(const std::vector<DeviceView>& devices);

// One JSON array, one object per device, each naming the library that
// serves it; ends with a line end.
std::string formatDevicesJson(const std::vector<DeviceView>& devices, const LibraryIdentity& library);

// The line naming the loaded library and its version word; without a
// library (null), why none was loaded.
std::string formatLibraryText(const LibraryIdentity* library, const char* whyNone);

// text as a JSON string literal, quotes included. Device names are bytes
// from the device, not necessarily UTF-8: bytes above 127 are taken as
// Latin-1, so the document stays valid whatever the device reports.
std::string jsonString(const std::string& text);

}  // namespace spelvane::cli
