#pragma once

#include "localthings.h"

class DayFile;
class DayTable;

// The day file as the sync sees it: the one place where the sync meets the storage engine.
// The caller loads the table, holds the day file's lock, and keeps both alive.
class DayBookThings final : public LocalThings
{
public:
    DayBookThings(DayFile &file, DayTable &table, const QString &path);

    std::map<ThingKey, ThingInput> things() const override;
    ApplyResult apply(const std::map<ThingKey, ThingInput> &changes) override;

private:
    DayFile &m_file;
    DayTable &m_table;
    QString m_path;
};
