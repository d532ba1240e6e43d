#pragma once

#include "daytable.h"
#include "gbk.h"
#include "oledate.h"

#include <QDate>
#include <QString>

// Puts one thing into the table as the day file would hold it; fraction adds a time of day.
inline void addThing(DayTable &table, QDate day, int thingNo, const QString &text, bool done, double fraction = 0)
{
    DayRecord record;
    record.ThingNo = thingNo;
    record.ThingText = gbk::encode(text).value();
    record.Done = done ? -1 : 0;
    record.ThingDate = oledate::fromDate(day) + fraction;
    table.append(record);
}
