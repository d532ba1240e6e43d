#pragma once

#include <QDate>
#include <optional>

// Dates in day files are OLE Automation dates: a double counting days since 30 December 1899,
// the fraction being the time of day. The program only ever stores whole days.
namespace oledate {

inline constexpr qint64 JulianDayOfDayZero = 2415019; // 30 December 1899

// The range the date type allows: 1 January 100 to 31 December 9999.
QDate firstDate();
QDate lastDate();
bool inRange(QDate date);

double fromDate(QDate date);

// The whole day a stored value stands for; nothing for fractions, NaN, infinities and values
// outside the date range, which therefore match no day.
std::optional<QDate> toDate(double value);

// The day number as an integer key, under the same rules as toDate.
std::optional<qint32> dayNumber(double value);

} // namespace oledate
