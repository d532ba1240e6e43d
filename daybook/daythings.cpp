#include "daythings.h"

#include "daytable.h"
#include "gbk.h"
#include "oledate.h"

ThingInput thingOf(const DayTable &table, qint32 index)
{
    return {gbk::decode(table.text(index)), table.isDone(index)};
}

DayThings thingsOfDay(const DayTable &table, QDate day)
{
    DayThings things;
    for (qint32 r : table.recordsOfDay(oledate::fromDate(day))) {
        const qint32 no = table.thingNo(r);
        if (no < 1 || no > 5)
            continue;
        things[size_t(no - 1)] = {gbk::decode(table.text(r)), table.isDone(r)};
    }
    return things;
}
