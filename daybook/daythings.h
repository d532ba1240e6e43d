#pragma once

#include "dayfile.h"

#include <QDate>

// The five things of day as the main window shows them: the day's records in file order, a later
// record of a position over an earlier one; a record without a position 1 to 5 has no place.
DayThings thingsOfDay(const DayTable &table, QDate day);
