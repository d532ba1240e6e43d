#include "daybookthings.h"

#include "dayfile.h"
#include "daytable.h"
#include "oledate.h"

#include <set>

DayBookThings::DayBookThings(DayFile &file)
    : m_file(file)
{
}

std::map<ThingKey, ThingInput> DayBookThings::things() const
{
    return thingsIn(m_file.table());
}

std::map<ThingKey, ThingInput> DayBookThings::thingsIn(const DayTable &table)
{
    std::set<qint64> days; // Julian days, so each day is read once
    for (qint32 i = 1; i <= table.DayCount(); ++i) {
        if (const std::optional<QDate> day = oledate::toDate(table.thingDate(i)))
            days.insert(day->toJulianDay());
    }
    std::map<ThingKey, ThingInput> things;
    for (qint64 julian : days) {
        const QDate day = QDate::fromJulianDay(julian);
        const DayThings shown = thingsOfDay(table, day);
        for (size_t k = 0; k < shown.size(); ++k) {
            if (!shown[k].isEmpty())
                things.emplace(ThingKey{day, int(k) + 1}, shown[k]);
        }
    }
    return things;
}

ApplyResult DayBookThings::apply(const std::map<ThingKey, ThingInput> &changes)
{
    std::vector<std::pair<QDate, DayThings>> days;
    for (const auto &[key, thing] : changes) {
        if (days.empty() || days.back().first != key.day)
            days.emplace_back(key.day, thingsOfDay(m_file.table(), key.day));
        days.back().second[size_t(key.number - 1)] = thing;
    }
    if (days.empty())
        return {};
    const SaveReport save = m_file.saveDays(days);
    if (save.allOnDisk())
        return {};
    // A save that did not finish is undone by the day file's journal at the next load.
    return {ApplyResult::Status::Failed, save.describe(m_file.path())};
}
