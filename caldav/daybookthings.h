#pragma once

#include "localthings.h"

class DayFile;
class DayTable;

// The day file as the sync sees it: the one place where the sync meets the storage engine.
// The caller locks and loads the day file and keeps it alive.
class DayBookThings final : public LocalThings
{
public:
    explicit DayBookThings(DayFile &file);

    std::map<ThingKey, ThingInput> things(QDate from) const override;
    ApplyResult apply(const std::map<ThingKey, ThingInput> &changes) override;
    QString whyNotSyncable() const override;
    DayFileStamp stamp() const override;

    // Every thing of the table that has a record, the last record of a thing counting (see
    // LocalThings::things).
    static std::map<ThingKey, ThingInput> thingsIn(const DayTable &table, QDate from = {});
    // Why the day file cannot be synced, in English; empty when it can.
    static QString whyNotSyncable(const DayFile &file);

private:
    DayFile &m_file;
};
