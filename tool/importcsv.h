#pragma once

#include "csv.h"
#include "dayfile.h"

#include <QDate>
#include <QStringList>
#include <utility>
#include <vector>

// The rows of an import, checked: every row names a valid day, a position 1 to 5, yes or no,
// and a text the day file can hold; no two rows name the same thing.
struct ImportRows
{
    std::vector<std::pair<qint64, DatedThing>> rows; // with their row numbers
    QStringList problems;                            // "row N: ...", one for each fault
    QStringList notes;                               // texts that will be cut, as the window cuts them
};

ImportRows checkRows(const std::vector<csv::Record> &records);

// The days whose things the rows change, each with all five things as they are to be saved:
// the rows over what the day holds now.
std::vector<std::pair<QDate, DayThings>> changedDays(const DayTable &table, const ImportRows &checked);
