#include "shownbookthings.h"

#include "daybookthings.h"
#include "shownday.h"
#include "thingmerge.h"

#include <QLocale>

std::map<ThingKey, ThingInput> ShownBookThings::things() const
{
    std::map<ThingKey, ThingInput> things = DayBookThings::thingsIn(m_day.dayFile().table());
    const DayThings shown = m_day.shownThings();
    for (int number = 1; number <= 5; ++number) {
        const ThingKey key{m_day.shownDate(), number};
        // As the day file would store it; a text it cannot store stays as stored until it can.
        const std::optional<ThingInput> stored = thingmerge::storedThing(shown[size_t(number - 1)]);
        if (!stored)
            continue;
        if (stored->isEmpty())
            things.erase(key);
        else
            things[key] = *stored;
    }
    return things;
}

ApplyResult ShownBookThings::apply(const std::map<ThingKey, ThingInput> &changes)
{
    if (m_day.isAsking() || m_day.isEnding() || m_day.isReadOnly())
        return {ApplyResult::Status::Failed, QStringLiteral("the day book cannot take changes now")};
    std::vector<ShownDay::ThingChange> list;
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
    const SaveReport report = m_day.bringIn(list);
    m_applying = false;
    if (report.allOnDisk())
        return {};
    // Whatever the day book took is written by a later save; the sync decides again next time.
    return {ApplyResult::Status::Failed, report.describe(m_day.dayFile().path())};
}
