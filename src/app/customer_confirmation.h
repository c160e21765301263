// The question a customer combine asks before it changes anything, in every
// face: the window and a single combine ask it as it stands, a batch once
// for all its customer combines.

#pragma once

#include <string>

namespace kestrova::app {

// What a customer combine does beyond re-pointing, and the question.
inline constexpr char kCustomerConsequences[] =
    "accounts receivable information for the two customers will be combined and the previous billing "
    "cycles will be removed since they will no longer be accurate.  The combined customers account will be "
    "updated on the next billing cycle.  Do you want to continue?";

// "The accounts receivable information ... Do you want to continue?"
inline std::string customerConfirmation() { return std::string("The ") + kCustomerConsequences; }

}  // namespace kestrova::app
