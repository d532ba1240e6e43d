#pragma once

#include <QColor>
#include <QDate>
#include <QPoint>
#include <QString>
#include <array>
#include <vector>

class DayTable;

// What the calendar's day cells show for one month, worked out without any widget: the day
// numbers of the cells and the lines of each day's things. The window paints from this, and a
// benchmark can fill a month on a day book of any size without showing anything.
namespace monthgrid {

inline constexpr int DayCells = 42; // six rows of seven, Monday first

inline const QColor DoneColour = QColor(0, 128, 0);   // finished, and unfinished days gone by
inline const QColor ComingColour = QColor(255, 0, 0); // unfinished, today and later

// One line printed on a cell: its text, colour and top-left corner in the cell's own pixels.
struct Line
{
    QString text;
    QColor colour;
    QPoint position;
    friend bool operator==(const Line &, const Line &) = default;
};

struct Cell
{
    int day = 0;             // day of the month; 0 when the cell holds no day
    std::vector<Line> lines; // in printing order: a later line lies on top of an earlier one
};

using Month = std::array<Cell, DayCells>;

// The cell of the month's first day: the column of its weekday in the top row.
int firstCell(QDate date);

// The lines of one day's things, in table order. today decides which unfinished things are red.
std::vector<Line> thingLines(const DayTable &table, QDate day, QDate today);

// The grid of the month that date falls in; the day of date does not matter.
Month fill(const DayTable &table, QDate date, QDate today);

} // namespace monthgrid
