#pragma once

#include "dayfile.h"

#include <QString>

// What the user is told about the day file, in the program's words.
namespace messages {

// A day the day book cannot take: which thing and which characters, or that the book is full.
QString refusal(const SaveReport &report, const DayThings &things);

// A save that did not reach the disk: which days, the file and why.
QString diskTrouble(const QString &dayFilePath, const SaveReport &report, const std::vector<QDate> &days);

// Why a save did not reach the disk, in the user's words.
QString whyNotSaved(const SaveReport &report);

// Days in the user's short date format, joined for a sentence.
QString dayList(const std::vector<QDate> &days);

// The start-up message: which file is at fault, what happened and what still works. Empty when
// the day file and its journal were read whole.
QString startup(const QString &dayFilePath, const LoadReport &load);

// A day file deleted behind the program's back and written back whole (or not).
QString remade(const QString &dayFilePath, const SaveReport &report);

} // namespace messages
