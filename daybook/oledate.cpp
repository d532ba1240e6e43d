#include "oledate.h"

#include <cmath>

namespace oledate {

namespace {
constexpr qint32 FirstDayNumber = -657434; // 1 January 100
constexpr qint32 LastDayNumber = 2958465;  // 31 December 9999
} // namespace

QDate firstDate() { return QDate(100, 1, 1); }
QDate lastDate() { return QDate(9999, 12, 31); }

bool inRange(QDate date)
{
    return date.isValid() && date >= firstDate() && date <= lastDate();
}

double fromDate(QDate date)
{
    return double(date.toJulianDay() - JulianDayOfDayZero);
}

std::optional<qint32> dayNumber(double value)
{
    if (!std::isfinite(value) || value != std::floor(value))
        return std::nullopt;
    if (value < FirstDayNumber || value > LastDayNumber)
        return std::nullopt;
    return qint32(value);
}

std::optional<QDate> toDate(double value)
{
    const auto day = dayNumber(value);
    if (!day)
        return std::nullopt;
    return QDate::fromJulianDay(*day + JulianDayOfDayZero);
}

} // namespace oledate
