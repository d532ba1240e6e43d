#pragma once

#include "daythings.h"

#include <optional>

// Two helpers of the merge rule (thingdecision.h): what "keep both" makes of two versions of a
// thing, and a thing as the day file stores it, the form every merge compares.
namespace thingmerge {

// "Keep both": this side's text, then the other's, in one box, done when both are done. Nothing
// when the two do not fit the day file's 160 bytes together (or either has no GBK form). Joined
// once already (a save or a send cut off after the join, and the choice carried out again), the
// other's text is not added a second time.
std::optional<ThingInput> joined(const ThingInput &mine, const ThingInput &theirs);

// thing as the day file keeps it: the text trimmed of spaces and cut to 160 GBK bytes. Nothing
// when the text has no GBK form.
std::optional<ThingInput> storedThing(const ThingInput &thing);

} // namespace thingmerge
