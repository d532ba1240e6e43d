#include "shownbookthings.h"

#include "daybookthings.h"
#include "messages.h"
#include "outsidechanges.h"
#include "problemwords.h"
#include "shownday.h"
#include "daytable.h"
#include "oledate.h"
#include "thingmerge.h"


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
        return {ApplyResult::Status::Failed, QStringLiteral("日程现在不能接收改动（正在询问、正在关闭或只能读取）")};
    std::vector<outsidechanges::ThingChange> list;
    for (const auto &[key, thing] : changes) {
        // Two versions already wait for the user's choice: a third is not laid over them.
        if (m_day.holds(key.day, key.number))
            return {ApplyResult::Status::Failed,
                    QStringLiteral("%1两边都改过，还在等你选择保留哪一份").arg(problemwords::thing(key))};
        list.push_back({key.day, key.number, thing});
    }
    m_applying = true;
    const SaveReport report = outsidechanges::bringIn(m_day, list);
    m_applying = false;
    if (report.allOnDisk())
        return {};
    // Whatever the day book took is written by a later save; the sync decides again next time.
    switch (report.status) {
    case SaveReport::Status::TableFull:
        return {ApplyResult::Status::Failed, QStringLiteral("日记本已满（最多 %1 条记录）").arg(DayTable::DayCapacity)};
    case SaveReport::Status::NoGbkForm:
        return {ApplyResult::Status::Failed, QStringLiteral("%1 有 GBK 无法表示的字符")
                                                 .arg(problemwords::thing({report.refusedDay, report.refusedThing}))};
    default:
        return {ApplyResult::Status::Failed, messages::whyNotSaved(report)};
    }
}
