#include "shownbookthings.h"

#include "daybookthings.h"
#include "shownday.h"
#include "thingmerge.h"

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
    for (const auto &[key, thing] : changes)
        list.push_back({key.day, key.number, thing});
    m_applying = true;
    const SaveReport report = m_day.bringIn(list);
    m_applying = false;
    if (report.allOnDisk())
        return {};
    // Whatever the day book took is written by a later save; the sync decides again next time.
    return {ApplyResult::Status::Failed, report.describe(m_day.dayFile().path())};
}
