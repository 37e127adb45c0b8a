#include "settings/reference_comparison.h"

namespace spelvane {

ReferenceComparison compareWithReference(const SpeedValues& held, const Reference& reference) {
    ReferenceComparison comparison;
    if (reference.section) {
        comparison.target = *reference.section;
    } else {
        // The options hold as the store would make them hold: a light that
        // kept another HBlank, or a header that kept the other Half Clock,
        // is a field the store writes.
        const ChangePlan plan = computeChange(held, reference.choice);
        if (plan.outcome == ChangePlan::Outcome::Refused) {
            comparison.outcome = ReferenceComparison::Outcome::Refused;
            comparison.refusal = plan.refusal;
            return comparison;
        }
        comparison.target = plan.outcome == ChangePlan::Outcome::Change ? plan.target : held;
    }
    comparison.differences = storedValueChanges(held, comparison.target);
    if (!comparison.differences.empty()) comparison.outcome = ReferenceComparison::Outcome::Differs;
    return comparison;
}

}  // namespace spelvane
