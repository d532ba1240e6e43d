#pragma once

#include "dayfile.h"
#include "dayrecord.h"
#include "oledate.h"

#include <QByteArray>
#include <QDate>
#include <QString>

// Day files and days to save, for the tests of how saves reach the disk.

// count days from firstDay on, five slots each, every text naming its day and position.
inline QByteArray daysImage(int count, double firstDay)
{
    QByteArray bytes;
    for (int d = 0; d < count; ++d) {
        for (int no = 1; no <= 5; ++no)
            bytes += recordimage::encode({7, no, "day " + QByteArray::number(d) + "/" + QByteArray::number(no), 0, firstDay + d});
    }
    return bytes;
}

inline DayThings thingsOf(const QString &tag)
{
    DayThings t;
    for (int i = 0; i < 5; ++i) {
        t[size_t(i)].text = tag + QString::number(i + 1);
        t[size_t(i)].done = i % 2;
    }
    return t;
}

inline QDate dayOf(double n) { return *oledate::toDate(n); }
