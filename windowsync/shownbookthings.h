#pragma once

#include "localthings.h"

class ShownDay;

// The day book as the window's sync sees it: the shown day as it stands on screen (edits not
// saved yet included, so that the sync decides on them and never writes over them), every other
// day as the day file holds it. What comes in goes through the shown day's controller, in one save.
class ShownBookThings final : public LocalThings
{
public:
    explicit ShownBookThings(ShownDay &day) : m_day(day) {}

    std::map<ThingKey, ThingInput> things(QDate from) const override;
    ApplyResult apply(const std::map<ThingKey, ThingInput> &changes) override;
    QString whyNotSyncable() const override;
    DayFileStamp stamp() const override;
    std::set<ThingKey> held() const override;
    // Inside apply(): the day book's change is the sync's own.
    bool isApplying() const { return m_applying; }

private:
    ShownDay &m_day;
    bool m_applying = false;
};
