#pragma once

#include "daytable.h"

#include <QDate>
#include <QString>
#include <vector>

// One thing as the tools hand it on: its day, its position 1 to 5, its text and its tick.
struct DatedThing
{
    QDate day;
    int number = 0;
    QString text;
    bool done = false;
    bool foreignBytes = false; // stored bytes that are no GBK character, handed on as U+FFFD
};

// The things of every day from first to last (both included; an invalid date leaves that end
// open), day by day and by position, as the main window shows them. A thing with neither text
// nor tick is nothing to hand on and is left out. Stored bytes that are no GBK character become
// U+FFFD, the character other programs show for bytes they cannot read.
std::vector<DatedThing> thingsBetween(const DayTable &table, QDate first, QDate last);
