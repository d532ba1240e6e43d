#include "thingsearch.h"

#include "gbk.h"
#include "oledate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace {

qsizetype widthAt(const uchar *p, const uchar *end)
{
    return gbk::charWidth(p, end);
}

struct Folded
{
    quint16 code; // single bytes below 0x100, double-byte characters from 0x8140 up
    qsizetype width;
};

// The character at p with Latin letters in lower case and GBK's full-width digits and letters
// (row 0xA3) turned into their ASCII forms.
Folded foldedAt(const uchar *p, const uchar *end)
{
    const uchar b = p[0];
    if (widthAt(p, end) == 2) {
        const uchar t = p[1];
        if (b == 0xA3) {
            if (t >= 0xB0 && t <= 0xB9)
                return {quint16('0' + (t - 0xB0)), 2};
            if (t >= 0xC1 && t <= 0xDA)
                return {quint16('a' + (t - 0xC1)), 2};
            if (t >= 0xE1 && t <= 0xFA)
                return {quint16('a' + (t - 0xE1)), 2};
        }
        return {quint16(b << 8 | t), 2};
    }
    return {quint16(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b), 1};
}

const uchar *bytes(QByteArrayView text) { return reinterpret_cast<const uchar *>(text.data()); }

} // namespace

ThingPattern::ThingPattern(QStringView query)
{
    const auto encoded = gbk::encode(query.trimmed());
    if (!encoded) {
        m_unmatchable = true;
        return;
    }
    const uchar *p = bytes(*encoded);
    const uchar *end = p + encoded->size();
    while (p < end) {
        const Folded c = foldedAt(p, end);
        m_chars.push_back(c.code);
        p += c.width;
    }
    if (m_chars.empty())
        return;
    // Upper case, and the full-width forms in row 0xA3, can begin a match of a letter or digit.
    const quint16 first = m_chars.front();
    const auto start = [this](int b) { m_starts[size_t(m_startCount++)] = uchar(b); };
    start(first >= 0x100 ? first >> 8 : first);
    if (first >= 'a' && first <= 'z')
        start(first - ('a' - 'A'));
    if ((first >= 'a' && first <= 'z') || (first >= '0' && first <= '9'))
        start(0xA3);
}

bool ThingPattern::matchesFrom(QByteArrayView text, qsizetype candidate) const
{
    const uchar *begin = bytes(text);
    const uchar *end = begin + text.size();
    const uchar *boundary = begin;
    while (boundary < begin + candidate)
        boundary += widthAt(boundary, end);
    if (boundary == begin + candidate && matchLength(boundary, end) > 0)
        return true;
    return find(text, boundary - begin) >= 0;
}

bool ThingPattern::beginsAt(const uchar *p, const uchar *end) const
{
    return foldedAt(p, end).code == m_chars.front();
}

qsizetype ThingPattern::matchLength(const uchar *at, const uchar *end) const
{
    const uchar *p = at;
    for (quint16 wanted : m_chars) {
        if (p >= end)
            return 0;
        const Folded c = foldedAt(p, end);
        if (c.code != wanted)
            return 0;
        p += c.width;
    }
    return p - at;
}

const uchar *ThingPattern::nextStart(StartCursor &cursor, const uchar *p) const
{
    const uchar *nearest = cursor.end;
    for (int k = 0; k < m_startCount; ++k) {
        const uchar *&next = cursor.next[size_t(k)];
        if (!next || next < p) {
            const void *found = p < cursor.end ? std::memchr(p, m_starts[size_t(k)], size_t(cursor.end - p)) : nullptr;
            next = found ? static_cast<const uchar *>(found) : cursor.end;
        }
        nearest = std::min(nearest, next);
    }
    return nearest;
}

// Most texts hold no byte that could begin a match, so the bytes are searched first and the
// characters are walked only up to a byte that could: a trail byte that looks like one is then
// passed over.
qsizetype ThingPattern::find(QByteArrayView text, qsizetype from) const
{
    if (m_chars.empty() || m_unmatchable)
        return -1;
    const uchar *begin = bytes(text);
    const uchar *end = begin + text.size();
    const uchar *boundary = begin + from; // where a character begins
    StartCursor cursor{end};
    for (const uchar *p = nextStart(cursor, boundary); p < end; p = nextStart(cursor, p + 1)) {
        while (boundary < p)
            boundary += widthAt(boundary, end);
        if (boundary == p && matchLength(p, end) > 0)
            return p - begin;
    }
    return -1;
}

std::vector<std::pair<qsizetype, qsizetype>> ThingPattern::matchesIn(QByteArrayView text) const
{
    std::vector<std::pair<qsizetype, qsizetype>> found;
    const uchar *end = bytes(text) + text.size();
    for (qsizetype at = find(text, 0); at >= 0;) {
        const qsizetype length = matchLength(bytes(text) + at, end);
        found.emplace_back(at, length);
        at = find(text, at + length);
    }
    return found;
}

ThingPattern::Emphasis ThingPattern::emphasise(QByteArrayView text) const
{
    Emphasis e{gbk::decode(text), {}};
    for (const auto &[at, length] : matchesIn(text))
        e.spans.emplace_back(gbk::decode(text.first(at)).size(), gbk::decode(text.sliced(at, length)).size());
    return e;
}

bool ThingPattern::narrows(const ThingPattern &earlier) const
{
    if (m_unmatchable || earlier.m_unmatchable || earlier.isEmpty())
        return false;
    return std::search(m_chars.begin(), m_chars.end(), earlier.m_chars.begin(), earlier.m_chars.end())
        != m_chars.end();
}

// ---------------------------------------------------------------------------------------------

void ThingSearch::setQuery(QStringView query)
{
    ThingPattern next(query);
    const bool narrowing = m_scanned && !isStale() && next.narrows(m_pattern);
    m_pattern = std::move(next);
    if (narrowing)
        narrow();
    else
        scanAll();
}

void ThingSearch::refresh()
{
    scanAll();
}

// Only what the day view can show is found: a position 1 to 5 on a whole day of the date range,
// and of several records of one thing only the one the view shows.
bool ThingSearch::qualifies(qint32 index) const
{
    const qint32 no = m_table.thingNo(index);
    return no >= 1 && no <= 5 && m_table.isCurrent(index);
}

// Texts that were saved one after the other lie one after the other in the table's buffer. Such
// a run is searched as a whole for bytes that could begin a match, which is far quicker than
// looking at each short text on its own; only a record holding such a byte is matched properly.
void ThingSearch::scanAll()
{
    const qint32 count = m_table.DayCount();
    m_found.assign(size_t(count + 63) / 64, 0);
    for (qint32 first = 1; first <= count && !m_pattern.isEmpty();) {
        qint32 last = first;
        const char *runEnd = m_table.text(first).data() + m_table.text(first).size();
        while (last < count && m_table.text(last + 1).data() == runEnd)
            runEnd += m_table.text(++last).size();

        const auto *end = reinterpret_cast<const uchar *>(runEnd);
        qint32 i = first;
        const uchar *textEnd = bytes(m_table.text(i)) + m_table.text(i).size();
        ThingPattern::StartCursor cursor{end};
        for (const uchar *p = m_pattern.nextStart(cursor, bytes(m_table.text(first))); p < end;) {
            if (!m_pattern.beginsAt(p, end)) { // not even the first character's bytes
                p = m_pattern.nextStart(cursor, p + 1);
                continue;
            }
            while (p >= textEnd) // the record that holds p; empty texts are passed over
                textEnd += m_table.text(++i).size();
            const QByteArrayView text = m_table.text(i);
            if (m_pattern.matchesFrom(text, p - bytes(text)) && qualifies(i))
                m_found[size_t(i - 1) / 64] |= quint64(1) << ((i - 1) % 64);
            p = m_pattern.nextStart(cursor, textEnd);
        }
        first = last + 1;
    }
    m_tableChanges = m_table.changes();
    m_scanned = true;
}

void ThingSearch::narrow()
{
    for (size_t w = 0; w < m_found.size(); ++w) {
        for (quint64 bits = m_found[w]; bits != 0; bits &= bits - 1) {
            const int bit = std::countr_zero(bits);
            if (!m_pattern.matches(m_table.text(qint32(w * 64) + bit + 1)))
                m_found[w] &= ~(quint64(1) << bit);
        }
    }
}

ThingSearch::Page ThingSearch::results(const SearchFilter &filter, qsizetype limit) const
{
    constexpr double Infinity = std::numeric_limits<double>::infinity();
    const double from = filter.from.isValid() ? oledate::fromDate(filter.from) : -Infinity;
    const double to = filter.to.isValid() ? oledate::fromDate(filter.to) : Infinity;

    struct Entry
    {
        double date;
        qint32 thingNo;
        qint32 index;
    };
    const auto newer = [](const Entry &a, const Entry &b) {
        if (a.date != b.date)
            return a.date > b.date;
        if (a.thingNo != b.thingNo)
            return a.thingNo < b.thingNo;
        return a.index > b.index;
    };
    // The newest entries so far, the oldest of them at the front of the heap. Later records are
    // looked at first: they are mostly the newer days, so most others are turned away at once.
    std::vector<Entry> kept;
    kept.reserve(size_t(std::max<qsizetype>(limit, 0)));
    Page page;
    const qint32 count = m_table.DayCount(); // after a reload the bits may name records no longer there
    for (size_t w = m_found.size(); w-- > 0;) {
        for (quint64 bits = m_found[w]; bits != 0;) {
            const int bit = 63 - std::countl_zero(bits);
            bits &= ~(quint64(1) << bit);
            const auto index = qint32(w * 64) + bit + 1;
            if (index > count)
                continue;
            const double date = m_table.thingDate(index);
            if (date < from || date > to)
                continue;
            if (filter.done != DoneFilter::All && m_table.isDone(index) != (filter.done == DoneFilter::Done))
                continue;
            ++page.total;
            const Entry e{date, m_table.thingNo(index), index};
            if (qsizetype(kept.size()) < limit) {
                kept.push_back(e);
                std::push_heap(kept.begin(), kept.end(), newer);
            } else if (limit > 0 && newer(e, kept.front())) {
                std::pop_heap(kept.begin(), kept.end(), newer);
                kept.back() = e;
                std::push_heap(kept.begin(), kept.end(), newer);
            }
        }
    }
    std::sort_heap(kept.begin(), kept.end(), newer);
    page.records.reserve(kept.size());
    for (const Entry &e : kept)
        page.records.push_back(e.index);
    return page;
}
