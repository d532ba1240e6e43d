#include "shownbookthings.h"

#include "daybookthings.h"
#include "outsidechanges.h"
#include "shownday.h"
#include "daytable.h"
#include "oledate.h"
#include "thingmerge.h"

#include <QLocale>

std::map<ThingKey, ThingInput> ShownBookThings::things(QDate from) const
{
    const DayTable &table = m_day.dayFile().table();
    std::map<ThingKey, ThingInput> things = DayBookThings::thingsIn(table, from);
    const DayThings shown = m_day.shownThings();
    const QDate day = m_day.shownDate();
    if (from.isValid() && day < from)
        return things;
    for (int number = 1; number <= 5; ++number) {
        const ThingKey key{day, number};
        // As the day file would store it; a text it cannot store stays as stored until it can.
        const std::optional<ThingInput> stored = thingmerge::storedThing(shown[size_t(number - 1)]);
        if (!stored)
            continue;
        // A box left empty where the day book has no record is a thing never had, not one emptied.
        if (!stored->isEmpty() || table.find(oledate::fromDate(day), number))
            things[key] = *stored;
    }
    return things;
}

QString ShownBookThings::whyNotSyncable() const
{
    return DayBookThings::whyNotSyncable(m_day.dayFile());
}

DayFileStamp ShownBookThings::stamp() const
{
    return m_day.dayFile().stampOnDisk();
}

std::set<ThingKey> ShownBookThings::held() const
{
    return m_day.heldKeys();
}

ApplyResult ShownBookThings::apply(const std::map<ThingKey, ThingInput> &changes)
{
    if (m_day.isAsking() || m_day.isEnding() || m_day.isReadOnly())
        return {ApplyResult::Status::Failed, QStringLiteral("the day book cannot take changes now")};
    std::vector<outsidechanges::ThingChange> list;
    for (const auto &[key, thing] : changes) {
        // Two versions already wait for the user's choice: a third is not laid over them.
        if (m_day.holds(key.day, key.number))
            return {ApplyResult::Status::Failed,
                    QStringLiteral("%1 的第 %2 件事两边都改过，还在等你选择保留哪一份")
                        .arg(QLocale().toString(key.day, QLocale::ShortFormat))
                        .arg(key.number)};
        list.push_back({key.day, key.number, thing});
    }
    m_applying = true;
    const SaveReport report = outsidechanges::bringIn(m_day, list);
    m_applying = false;
    if (report.allOnDisk())
        return {};
    // Whatever the day book took is written by a later save; the sync decides again next time.
    return {ApplyResult::Status::Failed, report.describe(m_day.dayFile().path())};
}
