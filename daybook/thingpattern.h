#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <utility>
#include <vector>

// One word (or quoted phrase) of a query as GBK characters, each folded so that Latin case, the
// full-width forms of ASCII (U+FF01 to U+FF5E) and the ideographic space do not matter. Texts are
// matched where the table keeps them, in GBK, one whole character at a time: the trail byte of a
// double-byte character never starts a match, and no folded copy of the day book is ever made.
class ThingPattern
{
public:
    ThingPattern() = default;
    // From the GBK bytes of one term.
    explicit ThingPattern(QByteArrayView term);

    bool isEmpty() const { return m_chars.empty(); }
    bool matches(QByteArrayView text) const { return find(text, 0) >= 0; }
    // Every match in text, left to right and not overlapping: (first byte, byte count).
    std::vector<std::pair<qsizetype, qsizetype>> matchesIn(QByteArrayView text) const;
    // Whether every text that holds other holds this pattern too: other holds it as a part.
    bool within(const ThingPattern &other) const;
    qsizetype length() const { return qsizetype(m_chars.size()); }

    // Where the bytes of the first character occur next, in any of the forms that fold to it,
    // searched up to end.
    struct StartCursor
    {
        const uchar *end;
        std::array<const uchar *, 4> next{};
    };
    // The first place from p on where the first character's bytes stand (not yet known to begin a
    // character there), or the cursor's end. Calls with one cursor must not go backwards.
    const uchar *nextStart(StartCursor &cursor, const uchar *p) const;
    // matches(text), when no match can begin before byte candidate.
    bool matchesFrom(QByteArrayView text, qsizetype candidate) const;

private:
    qsizetype find(QByteArrayView text, qsizetype from) const;
    qsizetype matchLength(const uchar *at, const uchar *end) const;

    const struct FoldTable *m_folds = nullptr; // what each character folds to, shared by every pattern
    std::vector<quint16> m_chars; // folded characters
    // The forms of the first character: one byte, or a lead byte and a trail byte (size 2).
    struct Start
    {
        std::array<char, 2> bytes;
        int size;
    };
    std::array<Start, 4> m_starts{};
    int m_startCount = 0;
};

// A query: words separated by spaces must each appear, in any order; a phrase in double quotes
// ("..." or “...”) must appear as written. Spaces at either end are dropped.
class ThingQuery
{
public:
    ThingQuery() = default;
    explicit ThingQuery(QStringView query);

    // Nothing asked: an empty query matches nothing.
    bool isEmpty() const { return m_terms.empty() && m_unstorable.isEmpty(); }
    // Characters no stored text can hold (they have no GBK form): the query matches nothing.
    const QStringList &unstorable() const { return m_unstorable; }
    bool isUnmatchable() const { return !m_unstorable.isEmpty(); }

    const std::vector<ThingPattern> &terms() const { return m_terms; }
    // The term a search scans every text for: the longest, which the fewest texts hold.
    const ThingPattern &scanned() const;
    bool matches(QByteArrayView text) const;

    // The text decoded, with every match of every term as (first character, character count),
    // in order and not overlapping; none when the query does not match the text.
    struct Emphasis
    {
        QString text;
        std::vector<std::pair<qsizetype, qsizetype>> spans;
    };
    Emphasis emphasise(QByteArrayView text) const;

    // Whether every text this query matches is matched by earlier too, so that this query's
    // results can be sought among earlier's alone.
    bool narrows(const ThingQuery &earlier) const;

private:
    std::vector<ThingPattern> m_terms;
    QStringList m_unstorable;
};
