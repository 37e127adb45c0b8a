#pragma once
// A change of Half Clock rescales every shutter from what the reader holds.
// A reader that holds part of a change (its values are neither all of it
// nor none of it, whatever its outcome row says) may hold
// shutters rescaled already under a header that still names the old Half
// Clock: a second rescale would change its exposure for good, and the
// backup taken before it would keep the rescaled values. Such a change is
// refused until the reader is brought back. Writes of absolute values (a
// restore, a sync from a file) are never refused for it.
#include <optional>
#include <string>

#include "settings/change_computation.h"
#include "settings/speed_values.h"

namespace spelvane {

struct AppState;
struct UnfinishedChange;
class ChangeHistory;

struct HalfClockRefusal {
    std::string why;     // the reader, the change it holds part of, and what a Half Clock change would do
    std::string remedy;  // what to restore first, to begin with a lower-case letter
    std::string line() const { return why + "; " + remedy; }
};

// The refusal for a reader that holds `held` and whose last change is
// `change`, when the choice would change its Half Clock.
std::optional<HalfClockRefusal> halfClockRefusal(const UnfinishedChange& change, const SpeedValues& held,
                                                 const OperatorChoice& choice);

// The same over the open readers, judged by the history of the folder.
std::optional<HalfClockRefusal> halfClockRefusal(const AppState& app, const OperatorChoice& choice);
// As halfClockRefusal; when refused, every open reader gets its refused row
// in history, and nothing else is done.
std::optional<HalfClockRefusal> refuseHalfClockOverPart(const AppState& app, const OperatorChoice& choice,
                                                         ChangeHistory& history);

}  // namespace spelvane
