#pragma once

#include "daythings.h"

#include <QDateTime>
#include <QString>
#include <libical/ical.h>

// The fields of a VTODO that a thing has: its summary, its tick (STATUS, PERCENT-COMPLETE and
// COMPLETED) and our own property for its number. Read and set here and nowhere else.
namespace todofields {

inline constexpr const char *NumberProperty = "X-TALLYLEAF-NUMBER";

// SUMMARY without the spaces around it, which the day file does not keep.
QString summary(icalcomponent *todo);
// STATUS:COMPLETED; without a STATUS, a COMPLETED time or 100 percent complete.
bool isDone(icalcomponent *todo);
QString numberText(icalcomponent *todo);
bool isNumberProperty(icalproperty *p);

// Sets what differs from thing (every field when all is set), the number, and the time stamps.
void setThing(icalcomponent *todo, const ThingInput &thing, int number, const QDateTime &now, bool all);

} // namespace todofields
