#include "thingsearch.h"

#include "gbk.h"
#include "oledate.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <thread>

namespace {

// Below this many records one thread is quicker than starting a second.
constexpr qint32 RecordsForTwoThreads = 20'000;

const uchar *bytes(QByteArrayView text) { return reinterpret_cast<const uchar *>(text.data()); }

} // namespace

ThingSearch::ThingSearch(const DayTable &table) : m_table(table) {}

void ThingSearch::setQuery(QStringView query)
{
    ThingQuery next(query);
    const bool narrowing = !m_found.empty() && !isStale() && next.narrows(m_query);
    m_query = std::move(next);
    if (narrowing) {
        m_earlier.swap(m_found);
        m_earlierLeft = m_left;
    } else {
        m_earlier.clear();
    }
    start();
}

void ThingSearch::refresh()
{
    m_earlier.clear();
    start();
}

void ThingSearch::start()
{
    if (m_learnedChanges != m_table.changes())
        learnTable();
    const qint32 count = m_table.DayCount();
    m_found.assign(size_t(count + 63) / 64, 0);
    m_left = m_query.scanned().isEmpty() || m_query.isUnmatchable() ? 0 : count;
    m_tableChanges = m_table.changes();
}

bool ThingSearch::searchMore(qint32 records)
{
    if (m_left == 0)
        return false;
    // Pieces end on whole words of the bits, so that no two searches share a word.
    const qint32 first = std::max(1, (m_left - records) / 64 * 64 + 1);
    searchRecords(first, m_left);
    m_left = first - 1;
    return m_left > 0;
}

void ThingSearch::searchAll()
{
    while (searchMore()) {
    }
}

void ThingSearch::searchUntilSettled(const SearchFilter &filter, qsizetype limit)
{
    // Growing pieces: the newest records usually settle a common query at once, and a rare one
    // needs them all anyway.
    for (qint32 piece = 16'384; !results(filter, limit).settled; piece = std::min(piece * 4, 1 << 24))
        searchMore(piece);
}

void ThingSearch::searchRecords(qint32 first, qint32 last)
{
    if (!m_earlier.empty()) {
        // Where the query it narrows got to, its matches alone; the rest is scanned.
        if (last > m_earlierLeft)
            narrow(std::max(first, m_earlierLeft + 1), last);
        if (first <= m_earlierLeft)
            scanRuns(first, std::min(last, m_earlierLeft));
        return;
    }
    if (last - first < RecordsForTwoThreads) {
        scanRuns(first, last);
        return;
    }
    // Each half owns whole words of the bits, so the threads never write the same word.
    const qint32 middle = first - 1 + (last - first + 1) / 2 / 64 * 64;
    std::thread lower([this, first, middle] { scanRuns(first, middle); });
    scanRuns(middle + 1, last);
    lower.join();
}

void ThingSearch::setShownDay(QDate day, const DayThings &things)
{
    m_shownDay = day.isValid() ? oledate::fromDate(day) : -1;
    m_shown = things;
    for (size_t k = 0; k < things.size(); ++k)
        m_shownTexts[k] = DayTable::storedText(gbk::encode(things[k].text).value_or(QByteArray())).toByteArray();
}

void ThingSearch::learnTable()
{
    const qint32 count = m_table.DayCount();
    m_current = m_table.currentRecords();
    m_runs.clear();
    m_latestDate.assign(size_t(count + 63) / 64, -std::numeric_limits<double>::infinity());
    double latest = -std::numeric_limits<double>::infinity();
    const char *runEnd = nullptr;
    for (qint32 i = 1; i <= count; ++i) {
        const QByteArrayView text = m_table.text(i);
        if (i > 1 && text.data() == runEnd)
            m_runs.back().last = i;
        else
            m_runs.push_back(Run{i, i});
        runEnd = text.data() + text.size();
        latest = std::max(latest, m_table.thingDate(i));
        m_latestDate[size_t(i - 1) / 64] = latest;
    }
    m_learnedChanges = m_table.changes();
}

// Texts that were saved one after the other lie one after the other in the table's buffer. Such a
// run is searched as a whole for bytes that could begin a match, which is far quicker than
// looking at each short text on its own; only a record holding such a byte is matched properly.
// Only what the day view can show is found: of several records of one thing the one it shows.
void ThingSearch::scanRuns(qint32 firstRecord, qint32 lastRecord)
{
    const ThingPattern &pattern = m_query.scanned();
    const bool alone = m_query.terms().size() == 1;
    const auto lower = std::lower_bound(m_runs.begin(), m_runs.end(), firstRecord,
                                        [](const Run &run, qint32 record) { return run.last < record; });
    for (auto run = lower; run != m_runs.end() && run->first <= lastRecord; ++run) {
        const qint32 first = std::max(run->first, firstRecord);
        const qint32 last = std::min(run->last, lastRecord);
        const QByteArrayView lastText = m_table.text(last);
        const auto *end = bytes(lastText) + lastText.size();
        qint32 i = first;
        const uchar *textEnd = bytes(m_table.text(i)) + m_table.text(i).size();
        ThingPattern::StartCursor cursor{end};
        for (const uchar *p = pattern.nextStart(cursor, bytes(m_table.text(first))); p < end;) {
            while (p >= textEnd) // the record that holds p; empty texts are passed over
                textEnd += m_table.text(++i).size();
            const QByteArrayView text = m_table.text(i);
            const quint64 bit = quint64(1) << ((i - 1) % 64);
            if ((m_current[size_t(i - 1) / 64] & bit) && pattern.matchesFrom(text, p - bytes(text))
                && (alone || m_query.matches(text)))
                m_found[size_t(i - 1) / 64] |= bit;
            p = pattern.nextStart(cursor, textEnd);
        }
    }
}

void ThingSearch::narrow(qint32 first, qint32 last)
{
    for (qint32 w = (first - 1) / 64; w <= (last - 1) / 64; ++w) {
        for (quint64 bits = m_earlier[size_t(w)]; bits != 0; bits &= bits - 1) {
            const int bit = std::countr_zero(bits);
            if (m_query.matches(m_table.text(w * 64 + bit + 1)))
                m_found[size_t(w)] |= quint64(1) << bit;
        }
    }
}

ThingSearch::Page ThingSearch::results(const SearchFilter &filter, qsizetype limit) const
{
    constexpr double Infinity = std::numeric_limits<double>::infinity();
    const double from = filter.from.isValid() ? oledate::fromDate(filter.from) : -Infinity;
    const double to = filter.to.isValid() ? oledate::fromDate(filter.to) : Infinity;
    const auto passes = [&](double date, bool done) {
        return date >= from && date <= to && (filter.done == DoneFilter::All || done == (filter.done == DoneFilter::Done));
    };

    struct Entry
    {
        double date;
        qint32 thingNo;
        qint32 index; // 0: a thing of the shown day
    };
    const auto newer = [](const Entry &a, const Entry &b) {
        if (a.date != b.date)
            return a.date > b.date;
        if (a.thingNo != b.thingNo)
            return a.thingNo < b.thingNo;
        return a.index > b.index;
    };
    // The newest entries so far, the oldest of them at the front of the heap.
    std::vector<Entry> kept;
    kept.reserve(size_t(std::max<qsizetype>(limit, 0)));
    Page page;
    qint64 offered = 0;
    const auto offer = [&](const Entry &e) {
        ++offered;
        if (qsizetype(kept.size()) < limit) {
            kept.push_back(e);
            std::push_heap(kept.begin(), kept.end(), newer);
        } else if (limit > 0 && newer(e, kept.front())) {
            std::pop_heap(kept.begin(), kept.end(), newer);
            kept.back() = e;
            std::push_heap(kept.begin(), kept.end(), newer);
        }
    };

    qint64 shownHits = 0;
    if (m_shownDay >= 0 && !m_query.isEmpty()) {
        for (qint32 no = 1; no <= 5; ++no) {
            if (m_query.matches(m_shownTexts[size_t(no - 1)]) && passes(m_shownDay, m_shown[size_t(no - 1)].done)) {
                offer(Entry{m_shownDay, no, 0});
                ++shownHits;
            }
        }
    }
    const qint32 count = m_table.DayCount(); // after a reload the bits may name records no longer there
    const auto found = [&](qint32 index) {
        return index <= count && (m_found[size_t(index - 1) / 64] >> ((index - 1) % 64) & 1) != 0;
    };
    // Without filters the count is the bits' own, less the records of the shown day, and the records
    // are read only as far back as the newest results reach: later records are mostly newer days.
    const bool counted = filter.done == DoneFilter::All && from == -Infinity && to == Infinity;
    if (counted) {
        qint64 bits = 0;
        for (qint32 w = 0; w < qint32(m_found.size()); ++w)
            bits += std::popcount(w < count / 64 ? m_found[size_t(w)] : m_found[size_t(w)] & (~quint64(0) >> (63 - (count - 1) % 64)));
        if (m_shownDay >= 0) {
            for (qint32 r : m_table.recordsOfDay(m_shownDay))
                bits -= found(r) ? 1 : 0;
        }
        page.total = bits + shownHits;
    }
    // Words below this one are not searched yet.
    const size_t searched = size_t(m_left) / 64;
    const auto newestOf = [&](size_t w) { return m_latestDate.empty() ? -Infinity : m_latestDate[w]; };
    for (size_t w = m_found.size(); w-- > searched;) {
        if (counted && qsizetype(kept.size()) == limit && (limit == 0 || kept.front().date > newestOf(w)))
            break;
        for (quint64 bits = m_found[w]; bits != 0;) {
            const int bit = 63 - std::countl_zero(bits);
            bits &= ~(quint64(1) << bit);
            const auto index = qint32(w * 64) + bit + 1;
            if (index > count)
                continue;
            const double date = m_table.thingDate(index);
            if (date != m_shownDay && passes(date, m_table.isDone(index)))
                offer(Entry{date, m_table.thingNo(index), index});
        }
    }
    if (!counted)
        page.total = offered;
    page.complete = m_left == 0;
    page.settled = page.complete
        || (qsizetype(kept.size()) == limit && (limit == 0 || kept.front().date > newestOf(searched - 1)));
    std::sort_heap(kept.begin(), kept.end(), newer);
    page.hits.reserve(kept.size());
    for (const Entry &e : kept)
        page.hits.push_back(Hit{*oledate::toDate(e.date), e.thingNo, e.index});
    return page;
}
