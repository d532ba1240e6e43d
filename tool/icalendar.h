#pragma once

#include "exportthings.h"

#include <QByteArray>
#include <QDateTime>
#include <vector>

// An iCalendar object (RFC 5545) with one to-do per thing, due on its day: UTF-8, CRLF, lines
// folded at 75 octets. stamp is when the object is made (DTSTAMP).
QByteArray icalendar(const std::vector<DatedThing> &things, const QDateTime &stamp);
