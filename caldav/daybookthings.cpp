#include "daybookthings.h"

#include "dayfile.h"
#include "daytable.h"
#include "oledate.h"

#include <limits>

DayBookThings::DayBookThings(DayFile &file)
    : m_file(file)
{
}

std::map<ThingKey, ThingInput> DayBookThings::things(QDate from) const
{
    return thingsIn(m_file.table(), from);
}

std::map<ThingKey, ThingInput> DayBookThings::thingsIn(const DayTable &table, QDate from)
{
    const double first = from.isValid() ? oledate::fromDate(from) : -std::numeric_limits<double>::infinity();
    std::map<ThingKey, ThingInput> things;
    for (qint32 i = 1; i <= table.DayCount(); ++i) {
        const qint32 number = table.thingNo(i);
        if (number < 1 || number > 5 || !(table.thingDate(i) >= first) || !table.isCurrent(i))
            continue;
        if (const std::optional<QDate> day = oledate::toDate(table.thingDate(i)))
            things.insert_or_assign(ThingKey{*day, number}, thingOf(table, i));
    }
    return things;
}

QString DayBookThings::whyNotSyncable(const DayFile &file)
{
    if (file.holdsWholeFile())
        return {};
    return QStringLiteral("%1 was not read whole or cannot be written this time, so it is not synced").arg(file.path());
}

QString DayBookThings::whyNotSyncable() const
{
    return whyNotSyncable(m_file);
}

DayFileStamp DayBookThings::stamp() const
{
    return m_file.stampOnDisk();
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
