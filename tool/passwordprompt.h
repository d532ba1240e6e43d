#pragma once

#include <QString>
#include <optional>

// Asks for a password on the terminal without showing it; nothing when standard input is no
// terminal (a script must give TALLYLEAF_CALDAV_PASSWORD) or when the user gives none.
std::optional<QString> askPassword(const QString &prompt);
