#pragma once

#include "rollbackjournal.h"

#include <QString>

// What the tool says on standard error, each line beginning with its name. Messages name the
// day file as the user typed it or as the location rule found it.
void note(const QString &message);
// note(message), then status, for `return fail(...)`.
int fail(int status, const QString &message);

// What a read found of a save that did not finish, said as the window says it at start-up.
// preview: only read, nothing was repaired on disk.
void noteRecovery(const QString &dayFilePath, rollbackjournal::Outcome outcome, const QString &keptAside, bool preview);
