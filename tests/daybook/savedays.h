#pragma once

#include "dayfile.h"
#include "oledate.h"
#include "slotimage.h"

#include <QByteArray>
#include <QDate>
#include <QString>

// Day files and days to save, for the tests of how saves reach the disk.

using slotimage::days;

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
