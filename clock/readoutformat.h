#pragma once

#include <QString>

// The locale's long time format shows hours, minutes and seconds, but also the time zone, which a
// wall clock does not need. Returns the format with the zone (and brackets around it) removed.
QString timeFormatWithoutZone(const QString &format);
