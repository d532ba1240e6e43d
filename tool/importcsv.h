#pragma once

#include "csv.h"
#include "dayfile.h"

#include <QDate>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

// The rows of an import, checked: every row names a valid day, a position 1 to 5, done in one of
// the ways people write it (see doneFrom), and a text the day file can hold; no two rows name the
// same thing.
struct ImportRows
{
    std::vector<std::pair<qint64, DatedThing>> rows; // with their row numbers
    // One line for each kind of fault: the first row with it in full ("row N: ..."), then how many
    // more rows have it and the first few of them, so that a file wrong throughout is one line.
    QStringList problems;
    qint64 faultyRows = 0;
    QStringList notes; // texts that will be cut, as the window cuts them
};

// Done as spreadsheets and people write it, in any case and with spaces around it: yes/no,
// 是/否, √ or empty, true/false, 1/0, 已完成/未完成. Nothing for anything else.
std::optional<bool> doneFrom(const QString &field);

ImportRows checkRows(const std::vector<csv::Record> &records);

// The days whose things the rows change, each with all five things as they are to be saved:
// the rows over what the day holds now.
std::vector<std::pair<QDate, DayThings>> changedDays(const DayTable &table, const ImportRows &checked);
