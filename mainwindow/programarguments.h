#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The window's command line: tallyleaf [--day-file PATH]. Anything else is left to Qt, which
// takes its own options (-platform, -style, …), as before.

// The day file named, made absolute (empty when none is named), or nothing when --day-file has
// no path; the mistake is then said on standard error.
std::optional<QString> dayFileNamedOn(const QStringList &arguments);

// The same arguments (without the program's name) naming dayFile instead of the day file they
// named: the program starts again on a day file that moved.
QStringList namingDayFile(const QStringList &arguments, const QString &dayFile);
