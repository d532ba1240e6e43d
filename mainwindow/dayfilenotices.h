#pragma once

#include "dayfile.h"

#include <QString>

class Prompts;
class QWidget;
struct Module_pub;

// What the main window tells the user about its day file beyond a save that simply worked or
// failed: what start-up could not read, and a file replaced or deleted behind its back.
namespace dayfilenotices {

// The start-up message: which file is at fault, what happened and what still works. Empty when
// the day file and its journal were read whole.
QString startupText(const QString &dayFilePath, const LoadReport &load);
void afterStartup(Prompts &prompts, QWidget *window, const QString &dayFilePath, const LoadReport &load);

// After a save: a deleted file that was written back is told; for a replaced file the user is
// offered to load the file now on disk, into which everything held back is then saved.
[[nodiscard]] SaveReport afterSave(Prompts &prompts, QWidget *window, Module_pub &pub, SaveReport report);

} // namespace dayfilenotices
