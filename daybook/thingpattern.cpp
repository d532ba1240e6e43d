#include "thingpattern.h"

#include "gbk.h"

#include <algorithm>
#include <cstring>
#include <memory>

// What each GBK character folds to: Latin capitals to small letters, the full-width forms of
// ASCII (U+FF01 to U+FF5E, "ＣＥＴ－６") to ASCII, the ideographic space to a space. The
// codec says where GBK keeps the full-width forms, so the table follows it exactly.
struct FoldTable
{
    std::array<quint16, 256> single{};
    std::vector<quint16> pair = std::vector<quint16>(65536);
    std::array<std::array<quint16, 2>, 128> wide{}; // the pairs that fold to each ASCII character

    FoldTable()
    {
        for (int b = 0; b < 256; ++b)
            single[size_t(b)] = quint16(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
        for (int code = 0; code < 65536; ++code)
            pair[size_t(code)] = quint16(code);
        const auto foldPair = [this](char32_t fullWidth, uchar ascii) {
            const auto bytes = gbk::encode(QString::fromUcs4(&fullWidth, 1));
            if (!bytes || bytes->size() != 2)
                return;
            const auto lead = uchar(bytes->at(0)), trail = uchar(bytes->at(1));
            pair[size_t(lead << 8 | trail)] = single[ascii];
            auto &forms = this->wide[single[ascii]];
            forms[forms[0] == 0 ? 0 : 1] = quint16(lead << 8 | trail);
        };
        for (char32_t wide = 0xFF01; wide <= 0xFF5E; ++wide)
            foldPair(wide, uchar(wide - 0xFEE0));
        foldPair(0x3000, ' ');
    }
};

namespace {

const FoldTable &folds()
{
    static const FoldTable table;
    return table;
}

struct Folded
{
    quint16 code; // single bytes below 0x100, double-byte characters from 0x8140 up
    qsizetype width;
};

Folded foldedAt(const FoldTable &t, const uchar *p, const uchar *end)
{
    if (gbk::charWidth(p, end) == 2)
        return {t.pair[size_t(p[0] << 8 | p[1])], 2};
    return {t.single[p[0]], 1};
}

const uchar *bytes(QByteArrayView text) { return reinterpret_cast<const uchar *>(text.data()); }

// Where lead and trail stand next to each other from p on, or nothing. The trail byte is sought:
// in Chinese text trail bytes spread over twice as many values as lead bytes, so it stops less.
const uchar *findPair(const uchar *p, const uchar *end, uchar lead, uchar trail)
{
    for (const uchar *q = p + 1; q < end; ++q) {
        q = static_cast<const uchar *>(std::memchr(q, trail, size_t(end - q)));
        if (!q)
            return nullptr;
        if (q[-1] == lead)
            return q - 1;
    }
    return nullptr;
}

bool isQuote(QChar c) { return c == u'"' || c == u'\u201C' || c == u'\u201D'; }

} // namespace

ThingPattern::ThingPattern(QByteArrayView term) : m_folds(&folds())
{
    const FoldTable &t = *m_folds;
    const uchar *p = bytes(term);
    const uchar *end = p + term.size();
    while (p < end) {
        const Folded c = foldedAt(t, p, end);
        m_chars.push_back(c.code);
        p += c.width;
    }
    if (m_chars.empty())
        return;
    // The first character's own bytes, a capital letter's, and its full-width forms.
    const quint16 first = m_chars.front();
    const auto form = [this](quint16 code) {
        if (code != 0 && m_startCount < int(m_starts.size()))
            m_starts[size_t(m_startCount++)] = code >= 0x100 ? Start{{char(code >> 8), char(code & 0xFF)}, 2}
                                                            : Start{{char(code), 0}, 1};
    };
    form(first);
    if (first >= 'a' && first <= 'z')
        form(quint16(first - ('a' - 'A')));
    if (first < 0x80) {
        for (quint16 pair : t.wide[first])
            form(pair);
    }
}

bool ThingPattern::matchesFrom(QByteArrayView text, qsizetype candidate) const
{
    const uchar *begin = bytes(text);
    const uchar *end = begin + text.size();
    const uchar *at = begin + candidate;
    // Whether a character begins at the candidate, read backwards: the bytes that could lead a
    // pair (0x81 to 0xFE) just before it pair up from the first byte that could not, so an even
    // number of them ends on a boundary; an odd number leaves the last one leading the candidate's
    // byte, unless that byte cannot end a pair. Most texts have none of them before a candidate.
    qsizetype leads = 0;
    while (at - leads > begin && at[-leads - 1] >= 0x81 && at[-leads - 1] <= 0xFE)
        ++leads;
    const bool boundary = leads % 2 == 0 || gbk::charWidth(at - 1, end) == 1;
    if (boundary && matchLength(at, end) > 0)
        return true;
    return find(text, boundary ? candidate : candidate + 1) >= 0;
}

qsizetype ThingPattern::matchLength(const uchar *at, const uchar *end) const
{
    const FoldTable &t = *m_folds;
    const uchar *p = at;
    for (quint16 wanted : m_chars) {
        if (p >= end)
            return 0;
        const Folded c = foldedAt(t, p, end);
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
            const Start &start = m_starts[size_t(k)];
            const size_t left = p < cursor.end ? size_t(cursor.end - p) : 0;
            // A pair is sought whole: its lead byte alone stands in front of hundreds of characters.
            // An empty text may come as a null pointer, which memchr must never be given.
            const uchar *found = left == 0        ? nullptr
                : start.size == 1 ? static_cast<const uchar *>(std::memchr(p, start.bytes[0], left))
                                  : findPair(p, cursor.end, uchar(start.bytes[0]), uchar(start.bytes[1]));
            next = found ? found : cursor.end;
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
    if (m_chars.empty())
        return -1;
    const uchar *begin = bytes(text);
    const uchar *end = begin + text.size();
    const uchar *boundary = begin + from; // where a character begins
    StartCursor cursor{end};
    for (const uchar *p = nextStart(cursor, boundary); p < end; p = nextStart(cursor, p + 1)) {
        while (boundary < p)
            boundary += gbk::charWidth(boundary, end);
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

bool ThingPattern::within(const ThingPattern &other) const
{
    return !m_chars.empty()
        && std::search(other.m_chars.begin(), other.m_chars.end(), m_chars.begin(), m_chars.end()) != other.m_chars.end();
}

// ---------------------------------------------------------------------------------------------

ThingQuery::ThingQuery(QStringView query)
{
    QStringList terms;
    QString current;
    bool quoted = false;
    const auto endTerm = [&] {
        if (const QString term = current.trimmed(); !term.isEmpty())
            terms << term;
        current.clear();
    };
    for (const QChar c : query) {
        if (isQuote(c)) {
            endTerm();
            quoted = !quoted;
        } else if (!quoted && c.isSpace()) {
            endTerm();
        } else {
            current += c;
        }
    }
    endTerm(); // an unclosed quote ends with the query
    for (const QString &term : terms) {
        if (const auto encoded = gbk::encode(term)) {
            m_terms.emplace_back(*encoded);
            continue;
        }
        for (qsizetype i = 0; i < term.size();) {
            const qsizetype width = term.at(i).isHighSurrogate() && i + 1 < term.size() ? 2 : 1;
            const QString ch = term.mid(i, width);
            if (!gbk::canEncode(ch) && !m_unstorable.contains(ch))
                m_unstorable << ch;
            i += width;
        }
    }
}

const ThingPattern &ThingQuery::scanned() const
{
    static const ThingPattern none;
    if (m_terms.empty())
        return none;
    return *std::max_element(m_terms.begin(), m_terms.end(),
                             [](const ThingPattern &a, const ThingPattern &b) { return a.length() < b.length(); });
}

bool ThingQuery::matches(QByteArrayView text) const
{
    if (m_terms.empty() || isUnmatchable())
        return false;
    return std::all_of(m_terms.begin(), m_terms.end(), [&](const ThingPattern &p) { return p.matches(text); });
}

ThingQuery::Emphasis ThingQuery::emphasise(QByteArrayView text) const
{
    Emphasis e{gbk::decode(text), {}};
    if (!matches(text)) // a word found alone is no match
        return e;
    std::vector<std::pair<qsizetype, qsizetype>> byteSpans;
    for (const ThingPattern &term : m_terms) {
        const auto found = term.matchesIn(text);
        byteSpans.insert(byteSpans.end(), found.begin(), found.end());
    }
    std::sort(byteSpans.begin(), byteSpans.end());
    qsizetype coveredTo = 0;
    for (auto [at, length] : byteSpans) {
        if (at + length <= coveredTo)
            continue;
        if (at < coveredTo) { // overlaps the span before: that span grows
            const qsizetype grown = gbk::decode(text.sliced(coveredTo, at + length - coveredTo)).size();
            e.spans.back().second += grown;
        } else {
            e.spans.emplace_back(gbk::decode(text.first(at)).size(), gbk::decode(text.sliced(at, length)).size());
        }
        coveredTo = at + length;
    }
    return e;
}

bool ThingQuery::narrows(const ThingQuery &earlier) const
{
    if (isUnmatchable() || earlier.isUnmatchable() || earlier.m_terms.empty())
        return false;
    return std::all_of(earlier.m_terms.begin(), earlier.m_terms.end(), [this](const ThingPattern &old) {
        return std::any_of(m_terms.begin(), m_terms.end(), [&](const ThingPattern &term) { return old.within(term); });
    });
}
