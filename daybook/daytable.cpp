#include "daytable.h"

#include "gbk.h"
#include "oledate.h"

#include <QtGlobal>
#include <algorithm>
#include <array>

DayRecord DayTable::record(qint32 index) const
{
    const Row &r = row(index);
    return DayRecord{r.reserved, r.thingNo, text(index).toByteArray(), r.done, r.date};
}

QByteArrayView DayTable::storedText(QByteArrayView text)
{
    // Cutting may leave a space at the new end; the file would lose it on the next load anyway.
    return recordimage::trimSpaces(gbk::fit(recordimage::trimSpaces(text), recordimage::ThingTextBytes));
}

std::pair<quint32, quint8> DayTable::storeText(QByteArrayView text)
{
    const QByteArrayView fitted = storedText(text);
    const auto offset = quint32(m_text.size());
    m_text.insert(m_text.end(), fitted.begin(), fitted.end());
    return {offset, quint8(fitted.size())};
}

bool DayTable::append(const DayRecord &record)
{
    return appendRow(record.Reserved, record.ThingNo, record.ThingText, record.Done, record.ThingDate);
}

bool DayTable::appendImage(std::span<const char, recordimage::ImageLength> image)
{
    const recordimage::RecordView v = recordimage::view(image);
    return appendRow(v.Reserved, v.ThingNo, v.ThingText, v.Done, v.ThingDate);
}

bool DayTable::appendSlots(QByteArrayView bytes)
{
    for (qsizetype at = 0; at + recordimage::ImageLength <= bytes.size(); at += recordimage::SlotLength) {
        if (!appendImage(std::span<const char, recordimage::ImageLength>(bytes.data() + at, recordimage::ImageLength)))
            return false;
    }
    return true;
}

bool DayTable::appendRow(qint32 reserved, qint32 thingNo, QByteArrayView text, qint16 done, double date)
{
    if (isFull())
        return false;
    const auto [offset, length] = storeText(text);
    m_rows.push_back(Row{date, reserved, thingNo, offset, length, done});
    indexRow(DayCount());
    ++m_changes;
    return true;
}

void DayTable::clear()
{
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_text.clear();
    m_text.shrink_to_fit();
    m_days.clear();
    m_chains.clear();
    m_chains.shrink_to_fit();
    m_next.clear();
    m_next.shrink_to_fit();
    m_tailChain = -1;
    ++m_changes;
}

void DayTable::reserve(qint32 records, qsizetype textBytes)
{
    m_rows.reserve(size_t(std::min(records, DayCapacity)));
    m_next.reserve(size_t(std::min(records, DayCapacity)));
    m_days.reserve(qsizetype(std::min(records, DayCapacity) / 5 + 1));
    m_text.reserve(size_t(textBytes));
}

void DayTable::indexRow(qint32 index)
{
    m_next.push_back(0);
    const auto day = oledate::dayNumber(m_rows[size_t(index - 1)].date);
    if (!day)
        return; // matches no day
    qint32 chain = m_tailChain;
    if (chain < 0 || *day != m_tailDay) {
        const auto it = m_days.constFind(*day);
        if (it == m_days.cend()) {
            m_chains.push_back(Chain{index, index});
            m_days.insert(*day, qint32(m_chains.size() - 1));
            m_tailDay = *day;
            m_tailChain = qint32(m_chains.size() - 1);
            return;
        }
        chain = *it;
    }
    Chain &c = m_chains[size_t(chain)];
    m_next[size_t(c.last - 1)] = index;
    c.last = index;
    m_tailDay = *day;
    m_tailChain = chain;
}

std::vector<qint32> DayTable::recordsOfDay(double day) const
{
    std::vector<qint32> found;
    const auto key = oledate::dayNumber(day);
    if (!key)
        return found;
    const auto it = m_days.constFind(*key);
    if (it == m_days.cend())
        return found;
    for (qint32 i = m_chains[size_t(*it)].first; i != 0; i = m_next[size_t(i - 1)])
        found.push_back(i);
    return found;
}

std::optional<qint32> DayTable::find(double day, qint32 thingNo) const
{
    std::optional<qint32> last;
    for (qint32 i : recordsOfDay(day)) {
        if (row(i).thingNo == thingNo)
            last = i;
    }
    return last;
}

std::optional<qint32> DayTable::findOrAppend(double day, qint32 thingNo)
{
    if (const auto found = find(day, thingNo))
        return found;
    if (isFull() || !oledate::dayNumber(day))
        return std::nullopt;
    DayRecord fresh;
    fresh.ThingNo = thingNo;
    fresh.ThingDate = day;
    append(fresh);
    return DayCount();
}

void DayTable::setThing(qint32 index, QByteArrayView text, bool done)
{
    const auto [offset, length] = storeText(text);
    Row &r = row(index);
    r.textOffset = offset;
    r.textLength = length;
    r.done = done ? qint16(-1) : qint16(0);
    ++m_changes;
}

bool DayTable::isCurrent(qint32 index) const
{
    // The later records of a day follow in the chain; a record is current when none of them is
    // another of its thing.
    const Row &r = row(index);
    for (qint32 i = m_next[size_t(index - 1)]; i != 0; i = m_next[size_t(i - 1)]) {
        if (row(i).thingNo == r.thingNo)
            return false;
    }
    return oledate::dayNumber(r.date).has_value();
}

std::vector<quint64> DayTable::currentRecords() const
{
    std::vector<quint64> bits(size_t(DayCount() + 63) / 64, 0);
    for (const Chain &chain : m_chains) {
        std::array<qint32, 6> last{};
        for (qint32 i = chain.first; i != 0; i = m_next[size_t(i - 1)]) {
            const qint32 no = row(i).thingNo;
            if (no >= 1 && no <= 5)
                last[size_t(no)] = i;
        }
        for (qint32 no = 1; no <= 5; ++no) {
            if (const qint32 i = last[size_t(no)])
                bits[size_t(i - 1) / 64] |= quint64(1) << ((i - 1) % 64);
        }
    }
    return bits;
}
