#include "exportthings.h"

#include "daythings.h"
#include "gbk.h"
#include "oledate.h"

#include <set>

std::vector<DatedThing> thingsBetween(const DayTable &table, QDate first, QDate last)
{
    std::set<qint64> days; // Julian days, in order
    for (qint32 i = 1; i <= table.DayCount(); ++i) {
        const std::optional<QDate> day = oledate::toDate(table.thingDate(i));
        if (day && (!first.isValid() || *day >= first) && (!last.isValid() || *day <= last))
            days.insert(day->toJulianDay());
    }
    std::vector<DatedThing> things;
    for (qint64 julian : days) {
        const QDate day = QDate::fromJulianDay(julian);
        const DayThings shown = thingsOfDay(table, day);
        for (size_t k = 0; k < shown.size(); ++k) {
            if (shown[k].text.isEmpty() && !shown[k].done)
                continue;
            DatedThing thing{day, int(k) + 1, shown[k].text, shown[k].done};
            if (gbk::holdsStandIn(thing.text)) {
                thing.text = gbk::withoutStandIns(thing.text);
                thing.foreignBytes = true;
            }
            things.push_back(std::move(thing));
        }
    }
    return things;
}
