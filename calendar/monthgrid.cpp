#include "monthgrid.h"

#include "daytable.h"
#include "gbk.h"
#include "oledate.h"

namespace monthgrid {

namespace {

constexpr int LineLeft = 48;  // right of the day number
constexpr int LineStep = 14;

} // namespace

int firstCell(QDate date)
{
    return QDate(date.year(), date.month(), 1).dayOfWeek() - 1; // Qt counts Monday as 1
}

std::vector<Line> thingLines(const DayTable &table, QDate day, QDate today)
{
    std::vector<Line> lines;
    const bool coming = day >= today;
    // The day index gives the records a scan of the whole table would find, in the same order,
    // so duplicates of a position still print in table order, the later one on top.
    for (const qint32 r : table.recordsOfDay(oledate::fromDate(day))) {
        const qint32 thingNo = table.thingNo(r);
        if (thingNo < 1 || thingNo > 5)
            continue;
        const QString text = gbk::decode(table.text(r)); // the table keeps texts trimmed
        Line line{{}, DoneColour, QPoint(LineLeft, thingNo * LineStep - 13)};
        if (table.isDone(r)) {
            line.text = QStringLiteral("√") + text;
        } else if (!text.isEmpty()) {
            line.text = QString::number(thingNo) + u' ' + text;
            if (coming)
                line.colour = ComingColour;
        }
        if (!line.text.isEmpty())
            lines.push_back(std::move(line));
    }
    return lines;
}

Month fill(const DayTable &table, QDate date, QDate today)
{
    Month month;
    const QDate first(date.year(), date.month(), 1);
    const int start = firstCell(first);
    for (int day = 1; day <= first.daysInMonth(); ++day) {
        Cell &cell = month[size_t(start + day - 1)];
        cell.day = day;
        cell.lines = thingLines(table, first.addDays(day - 1), today);
    }
    return month;
}

} // namespace monthgrid
