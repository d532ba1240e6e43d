#pragma once

#include "daytable.h"

#include <QDate>
#include <QString>
#include <QStringView>
#include <array>
#include <utility>
#include <vector>

// A query as GBK characters, each folded so that Latin case and the full-width forms of digits
// and letters do not matter. Texts are matched where the table keeps them, in GBK, one whole
// character at a time: the trail byte of a double-byte character never starts a match, and no
// folded copy of the day book is ever made.
class ThingPattern
{
public:
    ThingPattern() = default;
    // Whitespace at either end of the query is dropped.
    explicit ThingPattern(QStringView query);

    // An empty query matches nothing.
    bool isEmpty() const { return m_chars.empty(); }
    bool matches(QByteArrayView text) const { return find(text, 0) >= 0; }

    // Every match in text, left to right and not overlapping: (first byte, byte count).
    std::vector<std::pair<qsizetype, qsizetype>> matchesIn(QByteArrayView text) const;

    // The text decoded, with every match as (first character, character count) in it.
    struct Emphasis
    {
        QString text;
        std::vector<std::pair<qsizetype, qsizetype>> spans;
    };
    Emphasis emphasise(QByteArrayView text) const;

    // Whether every text this pattern matches is matched by earlier too, so that this pattern's
    // results can be sought among earlier's alone.
    bool narrows(const ThingPattern &earlier) const;

    // Where the bytes that could begin a match occur next, searched up to end.
    struct StartCursor
    {
        const uchar *end;
        std::array<const uchar *, 3> next{};
    };
    // The first byte from p on that could begin a match (not yet known to begin a character), or
    // the cursor's end. Calls with one cursor must not go backwards.
    const uchar *nextStart(StartCursor &cursor, const uchar *p) const;
    // matches(text), when no match can begin before byte candidate.
    bool matchesFrom(QByteArrayView text, qsizetype candidate) const;
    // Whether the bytes at p read as the first character, were a character to begin there.
    bool beginsAt(const uchar *p, const uchar *end) const;

private:
    qsizetype find(QByteArrayView text, qsizetype from) const;
    qsizetype matchLength(const uchar *at, const uchar *end) const;

    std::vector<quint16> m_chars;    // folded characters
    std::array<uchar, 3> m_starts{}; // bytes that may begin the first character
    int m_startCount = 0;
    bool m_unmatchable = false;      // the query holds a character with no GBK form
};

enum class DoneFilter { All, NotDone, Done };

struct SearchFilter
{
    DoneFilter done = DoneFilter::All;
    QDate from; // a null date leaves that end of the range open
    QDate to;
};

// The records whose text holds a query, for the search window. What matches the text is kept as
// one bit per record; the filters and the order, newest day first, are applied when the results
// are read, so changing a filter never scans the texts again.
class ThingSearch
{
public:
    explicit ThingSearch(const DayTable &table) : m_table(table) {}

    // Finds the records whose text holds query. When query only adds to the previous query and
    // the table has not changed since, only the previous matches are looked at again.
    void setQuery(QStringView query);
    // Looks again at every record, after the table changed.
    void refresh();
    const ThingPattern &pattern() const { return m_pattern; }
    bool isStale() const { return m_tableChanges != m_table.changes(); }

    struct Page
    {
        qint64 total = 0;            // every record that passes the filter
        std::vector<qint32> records; // the newest of them, at most the limit asked for
    };
    // Newest day first; within a day by position, then the later record first.
    Page results(const SearchFilter &filter, qsizetype limit) const;

private:
    void scanAll();
    void narrow();
    bool qualifies(qint32 index) const;

    const DayTable &m_table;
    ThingPattern m_pattern;
    std::vector<quint64> m_found; // bit (index - 1): record index matches
    quint64 m_tableChanges = 0;
    bool m_scanned = false;
};
