#pragma once

#include <QDate>
#include <QString>
#include <array>

class DayTable;

// One thing of a day as the windows and tools hand it on: its text and its tick.
struct ThingInput
{
    QString text;
    bool done = false;

    bool isEmpty() const { return text.isEmpty() && !done; }
    friend bool operator==(const ThingInput &, const ThingInput &) = default;
};
using DayThings = std::array<ThingInput, 5>;

// The five things of day as the main window shows them: the day's records in file order, a later
// record of a position over an earlier one; a record without a position 1 to 5 has no place.
DayThings thingsOfDay(const DayTable &table, QDate day);

// The thing of record index, as the view shows it.
ThingInput thingOf(const DayTable &table, qint32 index);
