#pragma once

#include "daythings.h"
#include "oledate.h"
#include "slotimage.h"

#include <QDate>
#include <QString>
#include <initializer_list>

// Days to save, built for the tests of how days reach the disk.

using slotimage::days;

// The five things, texts in order (the rest empty); bit i of doneMask ticks thing i + 1.
inline DayThings things(std::initializer_list<QString> texts, int doneMask = 0)
{
    DayThings t;
    int i = 0;
    for (const QString &s : texts) {
        t[size_t(i)].text = s;
        t[size_t(i)].done = doneMask & (1 << i);
        ++i;
    }
    return t;
}

// Thing n says "<tag>n"; with ticks, things 2 and 4 are done.
inline DayThings thingsOf(const QString &tag, bool ticks = true)
{
    DayThings t;
    for (int i = 0; i < 5; ++i) {
        t[size_t(i)].text = tag + QString::number(i + 1);
        t[size_t(i)].done = ticks && i % 2;
    }
    return t;
}

inline QDate dayOf(double n) { return *oledate::toDate(n); }
