#include "importcsv.h"

#include "daythings.h"
#include "gbk.h"
#include "oledate.h"

#include <map>

namespace {

QString rowProblem(qint64 row, const QString &what) { return QStringLiteral("row %1: %2").arg(row).arg(what); }

bool sameThing(const ThingInput &a, const ThingInput &b)
{
    // Compared as the day file keeps them, so that a row that changes nothing writes nothing.
    return a.done == b.done
        && DayTable::storedText(gbk::encode(a.text).value_or(QByteArray()))
        == DayTable::storedText(gbk::encode(b.text).value_or(QByteArray()));
}

} // namespace

ImportRows checkRows(const std::vector<csv::Record> &records)
{
    ImportRows checked;
    if (records.empty() || records.front().fields.join(u',') != QLatin1StringView(csv::Header)) {
        checked.problems.append(rowProblem(records.empty() ? 1 : records.front().row,
                                           QStringLiteral("the first row must be the header %1")
                                               .arg(QLatin1StringView(csv::Header))));
        return checked;
    }

    std::map<std::pair<qint64, int>, qint64> seen; // (Julian day, position) → row
    for (size_t r = 1; r < records.size(); ++r) {
        const csv::Record &record = records[r];
        const auto problem = [&](const QString &what) { checked.problems.append(rowProblem(record.row, what)); };
        if (record.fields.size() != 4) {
            problem(QStringLiteral("%1 fields instead of 4").arg(record.fields.size()));
            continue;
        }
        const QString &dateField = record.fields[0];
        const QDate day = QDate::fromString(dateField, u"yyyy-MM-dd");
        bool numberOk = false;
        const int number = record.fields[1].toInt(&numberOk);
        const QString &doneField = record.fields[2];
        const QString &text = record.fields[3];
        const qsizetype problemsBefore = checked.problems.size();

        if (!day.isValid() || !oledate::inRange(day))
            problem(QStringLiteral("the date \"%1\" is not a day from %2 to %3 written as YYYY-MM-DD")
                        .arg(dateField, oledate::firstDate().toString(Qt::ISODate),
                             oledate::lastDate().toString(Qt::ISODate)));
        if (!numberOk || number < 1 || number > 5)
            problem(QStringLiteral("the number \"%1\" is not 1 to 5").arg(record.fields[1]));
        if (doneField != u"yes" && doneField != u"no")
            problem(QStringLiteral("done is \"%1\", not yes or no").arg(doneField));
        const std::optional<QByteArray> bytes = gbk::encode(text);
        if (!bytes || gbk::holdsStandIn(text)) // a stand-in would write a raw byte, not a character
            problem(QStringLiteral("the text has characters without a GBK form, which the day file cannot hold"));
        else if (text.contains(u'\n') || text.contains(u'\r'))
            problem(QStringLiteral("the text has a line break; a thing is one line"));
        if (checked.problems.size() != problemsBefore)
            continue;

        const auto [at, fresh] = seen.emplace(std::pair{day.toJulianDay(), number}, record.row);
        if (!fresh) {
            problem(QStringLiteral("thing %1 of %2 is also on row %3").arg(number).arg(dateField).arg(at->second));
            continue;
        }
        if (DayTable::storedText(*bytes).size() < recordimage::trimSpaces(*bytes).size())
            checked.notes.append(rowProblem(record.row, QStringLiteral("the text is cut to %1 bytes, as the window cuts it")
                                                            .arg(recordimage::ThingTextBytes)));
        checked.rows.push_back({record.row, DatedThing{day, number, text, doneField == u"yes"}});
    }
    return checked;
}

std::vector<std::pair<QDate, DayThings>> changedDays(const DayTable &table, const ImportRows &checked)
{
    std::map<qint64, std::pair<DayThings, DayThings>> days; // Julian day → (its things now, to be saved)
    for (const auto &[row, thing] : checked.rows) {
        auto it = days.find(thing.day.toJulianDay());
        if (it == days.end()) {
            const DayThings now = thingsOfDay(table, thing.day);
            it = days.emplace(thing.day.toJulianDay(), std::pair{now, now}).first;
        }
        it->second.second[size_t(thing.number - 1)] = ThingInput{thing.text, thing.done};
    }
    std::vector<std::pair<QDate, DayThings>> changed;
    for (const auto &[julian, day] : days) {
        const auto &[now, saved] = day;
        for (size_t k = 0; k < saved.size(); ++k) {
            if (!sameThing(saved[k], now[k])) {
                changed.emplace_back(QDate::fromJulianDay(julian), saved);
                break;
            }
        }
    }
    return changed;
}
