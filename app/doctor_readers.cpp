// What doctor notes of the settings the open readers hold: values a store
// would never have left there.
#include <cstdio>
#include <set>

#include "app/doctor.h"
#include "app/texts.h"

namespace spelvane {

namespace {

std::string hex(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

}  // namespace

std::optional<DoctorCheck> readerSettingsCheck(const std::string& reader, const SpeedValues& held) {
    const int lights = heldLightCount(held);
    std::set<uint16_t> values;
    std::string each;
    std::string outside;
    for (int light = 0; light < lights; ++light) {
        const uint16_t hblank = lightHBlank(held, light);
        values.insert(hblank);
        each += (light ? ", " : "") + hex(hblank);
        if ((hblank < kHBlankMinimum || hblank > kHBlankMaximum) && outside.empty())
            // Numbered from 0, as check and the dry run number them.
            outside = "light " + std::to_string(light) + " runs with HBlank " + hex(hblank);
    }
    std::string text;
    // Every store writes one HBlank into every light: different ones come
    // of a store cut short or a file edited by hand.
    if (values.size() > 1) text = "its lights hold different HBlank values (" + each + ")";
    if (!outside.empty())
        text += (text.empty() ? "" : "; ") + outside + ", outside the " + std::to_string(kHBlankMinimum) + " to " +
                std::to_string(kHBlankMaximum) + " the dialog offers";
    if (text.empty()) return std::nullopt;
    return DoctorCheck{"settings", DoctorCheck::Verdict::Note,
                       reader + ": " + text + "; check it against the site's setting, sync makes it hold that"};
}

std::vector<DoctorCheck> readerSettingsChecks(const AppState& app) {
    std::vector<DoctorCheck> checks;
    for (int i = 0; i < app.boundCount(); ++i) {
        if (!app.settings[i].device) continue;
        const std::string reader = app.readerName(i) + " (" + app.settings[i].typeName() + ")";
        if (auto check = readerSettingsCheck(reader, app.settings[i].snapshot())) checks.push_back(std::move(*check));
    }
    return checks;
}

}  // namespace spelvane
