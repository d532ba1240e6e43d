#pragma once

#include <QDate>
#include <QString>
#include <compare>

// A thing's place in the day book: its day and its number 1 to 5.
struct ThingKey
{
    QDate day;
    int number = 0;

    friend bool operator==(const ThingKey &, const ThingKey &) = default;
    friend std::strong_ordering operator<=>(const ThingKey &a, const ThingKey &b)
    {
        if (const auto byDay = a.day.toJulianDay() <=> b.day.toJulianDay(); byDay != 0)
            return byDay;
        return a.number <=> b.number;
    }

    // "thing 3 of 2026-12-08", for messages.
    QString toString() const
    {
        return QStringLiteral("thing %1 of %2").arg(number).arg(day.toString(Qt::ISODate));
    }
};
