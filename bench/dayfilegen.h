#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>

// Day files of any size with the content a long-used day book has: consecutive days of five
// things each, Chinese, ASCII and mixed texts of 2 to 30 characters, some empty, about 40 % done.
// The same records, seed and last day always give the same bytes.
namespace dayfilegen {

inline constexpr qint64 DefaultRecords = 1'000'000;
inline constexpr quint64 DefaultSeed = 20130517;

struct Result
{
    bool ok = false;
    qint64 records = 0;
    QString error;
};

// Writes records slots to path (replacing it), the last day being lastDay. When records is not a
// multiple of five, the last day is cut short, as a file whose last save was interrupted would be.
Result writeDayFile(const QString &path, qint64 records, quint64 seed, QDate lastDay);
Result writeDayFile(const QString &path, qint64 records = DefaultRecords, quint64 seed = DefaultSeed);

// The OLE date of the first day of a file of records records ending on lastDay.
double firstDay(qint64 records, QDate lastDay);

} // namespace dayfilegen
