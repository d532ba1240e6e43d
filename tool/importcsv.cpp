#include "importcsv.h"

#include "daythings.h"
#include "gbk.h"
#include "oledate.h"

#include <QLocale>
#include <map>
#include <set>

namespace {

QString rowProblem(qint64 row, const QString &what) { return QStringLiteral("row %1: %2").arg(row).arg(what); }

// The faults of a file, by kind: one line each however many rows have it.
class Faults
{
public:
    enum class Kind { Fields, Date, Number, Done, NoGbkForm, LineBreak, Twice };

    void add(Kind kind, qint64 row, const QString &what)
    {
        auto &[first, rows] = m_kinds[kind];
        if (rows.empty())
            first = rowProblem(row, what);
        rows.push_back(row);
        m_rows.insert(row);
    }
    qint64 rowCount() const { return qint64(m_rows.size()); }

    QStringList lines() const
    {
        constexpr size_t Named = 5;
        const QLocale english(QLocale::English); // 18,250
        QStringList lines;
        for (const auto &[kind, fault] : m_kinds) {
            const auto &[first, rows] = fault;
            QString line = first;
            if (rows.size() > 1) {
                QStringList named;
                for (size_t k = 1; k < rows.size() && k <= Named; ++k)
                    named << QString::number(rows[k]);
                const size_t more = rows.size() - 1;
                line += QStringLiteral("; likewise %1 more row%2: %3%4")
                            .arg(english.toString(qint64(more)), more > 1 ? QStringLiteral("s") : QString(),
                                 named.join(QStringLiteral(", ")), more > Named ? QStringLiteral(", …") : QString());
            }
            lines << line;
        }
        return lines;
    }

private:
    std::map<Kind, std::pair<QString, std::vector<qint64>>> m_kinds;
    std::set<qint64> m_rows;
};

bool sameThing(const ThingInput &a, const ThingInput &b)
{
    // Compared as the day file keeps them, so that a row that changes nothing writes nothing.
    return a.done == b.done
        && DayTable::storedText(gbk::encode(a.text).value_or(QByteArray()))
        == DayTable::storedText(gbk::encode(b.text).value_or(QByteArray()));
}

} // namespace

std::optional<bool> doneFrom(const QString &field)
{
    static const QStringList yes = {QStringLiteral("yes"), QStringLiteral("是"), QStringLiteral("√"),
                                    QStringLiteral("true"), QStringLiteral("1"), QStringLiteral("已完成")};
    static const QStringList no = {QStringLiteral("no"), QStringLiteral("否"), QString(),
                                   QStringLiteral("false"), QStringLiteral("0"), QStringLiteral("未完成")};
    const QString word = field.trimmed().toCaseFolded();
    if (yes.contains(word))
        return true;
    if (no.contains(word))
        return false;
    return std::nullopt;
}

ImportRows checkRows(const std::vector<csv::Record> &records)
{
    ImportRows checked;
    if (records.empty() || records.front().fields.join(u',') != QLatin1StringView(csv::Header)) {
        checked.problems.append(rowProblem(records.empty() ? 1 : records.front().row,
                                           QStringLiteral("the first row must be the header %1")
                                               .arg(QLatin1StringView(csv::Header))));
        checked.faultyRows = 1;
        return checked;
    }

    using Kind = Faults::Kind;
    Faults faults;
    std::map<std::pair<qint64, int>, qint64> seen; // (Julian day, position) → row
    for (size_t r = 1; r < records.size(); ++r) {
        const csv::Record &record = records[r];
        bool faulty = false;
        const auto problem = [&](Kind kind, const QString &what) {
            faults.add(kind, record.row, what);
            faulty = true;
        };
        if (record.fields.size() != 4) {
            problem(Kind::Fields, QStringLiteral("%1 fields instead of 4").arg(record.fields.size()));
            continue;
        }
        const QString &dateField = record.fields[0];
        const QDate day = QDate::fromString(dateField, u"yyyy-MM-dd");
        bool numberOk = false;
        const int number = record.fields[1].toInt(&numberOk);
        const QString &doneField = record.fields[2];
        const std::optional<bool> done = doneFrom(doneField);
        const QString &text = record.fields[3];

        if (!day.isValid() || !oledate::inRange(day))
            problem(Kind::Date, QStringLiteral("the date \"%1\" is not a day from %2 to %3 written as YYYY-MM-DD")
                        .arg(dateField, oledate::firstDate().toString(Qt::ISODate),
                             oledate::lastDate().toString(Qt::ISODate)));
        if (!numberOk || number < 1 || number > 5)
            problem(Kind::Number, QStringLiteral("the number \"%1\" is not 1 to 5").arg(record.fields[1]));
        if (!done)
            problem(Kind::Done, QStringLiteral("done is \"%1\", which is no way of writing done (yes/no, 是/否, √ or empty, "
                                               "true/false, 1/0, 已完成/未完成)")
                                    .arg(doneField));
        const std::optional<QByteArray> bytes = gbk::encode(text);
        if (!bytes || gbk::holdsStandIn(text)) // a stand-in would write a raw byte, not a character
            problem(Kind::NoGbkForm,
                    QStringLiteral("the text has characters without a GBK form, which the day file cannot hold"));
        else if (text.contains(u'\n') || text.contains(u'\r'))
            problem(Kind::LineBreak, QStringLiteral("the text has a line break; a thing is one line"));
        if (faulty)
            continue;

        const auto [at, fresh] = seen.emplace(std::pair{day.toJulianDay(), number}, record.row);
        if (!fresh) {
            problem(Kind::Twice,
                    QStringLiteral("thing %1 of %2 is also on row %3").arg(number).arg(dateField).arg(at->second));
            continue;
        }
        if (DayTable::storedText(*bytes).size() < recordimage::trimSpaces(*bytes).size())
            checked.notes.append(rowProblem(record.row, QStringLiteral("the text is cut to %1 bytes, as the window cuts it")
                                                            .arg(recordimage::ThingTextBytes)));
        checked.rows.push_back({record.row, DatedThing{day, number, text, *done}});
    }
    checked.problems = faults.lines();
    checked.faultyRows = faults.rowCount();
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
