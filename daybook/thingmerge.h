#pragma once

#include "daythings.h"

#include <optional>

// How two copies of the day book that went apart meet again, thing by thing (another computer's
// copy of the day file, a sync tool's conflict copy, a calendar server). Each side is held
// against the base, the state both last agreed on: what only one side changed comes through;
// where both changed the same field differently, neither is chosen, and the user decides.
//
// Text and tick are merged on their own: one side ticking a thing while the other rewrites its
// text gives the new text, ticked. Values are compared as the day file stores them (callers pass
// texts trimmed and cut as stored; see storedThing).
namespace thingmerge {

enum class Outcome {
    Same,       // both sides hold the same thing
    KeepMine,   // only this side changed it: this side's thing stands
    TakeTheirs, // only the other side changed it: the other side's thing comes in
    Combined,   // each side changed another field: both changes together
    Conflict,   // both changed the same field differently: the user chooses
};

struct Result
{
    Outcome outcome = Outcome::Same;
    // What the merged day book holds. With Conflict, this side's thing: nothing is settled
    // until the user chooses, and this side's version is the one on screen.
    ThingInput value;
};

// Without a base (nothing is known of an earlier agreement) any difference is a conflict, unless
// one side is empty: then the other side's thing stands.
Result merge(const std::optional<ThingInput> &base, const ThingInput &mine, const ThingInput &theirs);

// "Keep both": this side's text, then the other's, in one box, done when both are done. Nothing
// when the two do not fit the day file's 160 bytes together (or either has no GBK form).
std::optional<ThingInput> joined(const ThingInput &mine, const ThingInput &theirs);

// thing as the day file keeps it: the text trimmed of spaces and cut to 160 GBK bytes. Nothing
// when the text has no GBK form.
std::optional<ThingInput> storedThing(const ThingInput &thing);

} // namespace thingmerge
