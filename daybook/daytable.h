#pragma once

#include "dayrecord.h"

#include <QHash>
#include <functional>
#include <optional>
#include <vector>

// All records of the day book, indices 1 to DayCount() in the order they were first saved.
// Records are never removed or reordered. Memory follows the records in use: a row of fixed
// fields plus the trimmed text in one shared buffer, never the table's whole capacity.
//
// Lookups give exactly the results of a scan in ascending index order; an index by day number,
// built as records are appended, stands behind them.
class DayTable
{
public:
    static constexpr qint32 DayCapacity = 1'000'000;

    qint32 DayCount() const { return qint32(m_rows.size()); }
    bool isFull() const { return DayCount() >= DayCapacity; }
    // Grows with every append, change of a text and clear: who keeps findings about the table
    // can tell that they are out of date.
    quint64 changes() const { return m_changes; }

    DayRecord record(qint32 index) const;
    // Valid until the table changes. Inline, as are the fields below: search reads them for every
    // record on each key.
    QByteArrayView text(qint32 index) const
    {
        const Row &r = row(index);
        return QByteArrayView(m_text.data() + r.textOffset, r.textLength);
    }
    qint32 thingNo(qint32 index) const { return row(index).thingNo; }
    double thingDate(qint32 index) const { return row(index).date; }
    bool isDone(qint32 index) const { return row(index).done != 0; }

    // Appends a record as it was read from the day file; false when the table is full.
    bool append(const DayRecord &record);
    // The same straight from a slot's image, without an intermediate record.
    bool appendImage(std::span<const char, recordimage::ImageLength> image);
    // The same for every slot in bytes, which begin at a slot's start: a slot counts once its
    // 178-byte image is there (the 22 bytes after it carry nothing). False when the table fills.
    bool appendSlots(QByteArrayView bytes);
    void clear();
    void reserve(qint32 records, qsizetype textBytes);

    // The record of (day, thingNo). Where a file holds several (another program wrote them), the
    // last one, in index order, is the one read, shown, searched, exported and written; the
    // others stay as they are.
    std::optional<qint32> find(double day, qint32 thingNo) const;
    // Whether index is the record find() gives for its day and thing.
    bool isCurrent(qint32 index) const;
    // The same for every record at once: bit (index - 1) set for the records of positions 1 to 5
    // that find() gives.
    std::vector<quint64> currentRecords() const;

    // find(), or a new record for (day, thingNo) at DayCount() + 1. Nothing when the table is full.
    std::optional<qint32> findOrAppend(double day, qint32 thingNo);

    // Every record whose date equals day exactly, in ascending index order.
    std::vector<qint32> recordsOfDay(double day) const;

    // The text and completion of a record; its day and position never change.
    void setThing(qint32 index, QByteArrayView text, bool done);
    // What setThing keeps of a GBK text: without leading and trailing spaces, cut to the day
    // file's 160 bytes at a character boundary.
    static QByteArrayView storedText(QByteArrayView text);

private:
    struct Row
    {
        double date;
        qint32 reserved;
        qint32 thingNo;
        quint32 textOffset;
        quint8 textLength;
        qint16 done;
    };
    struct Chain
    {
        qint32 first;
        qint32 last;
    };

    const Row &row(qint32 index) const
    {
        Q_ASSERT(index >= 1 && index <= DayCount());
        return m_rows[size_t(index - 1)];
    }
    Row &row(qint32 index)
    {
        Q_ASSERT(index >= 1 && index <= DayCount());
        return m_rows[size_t(index - 1)];
    }
    void indexRow(qint32 index);
    bool appendRow(qint32 reserved, qint32 thingNo, QByteArrayView text, qint16 done, double date);
    std::pair<quint32, quint8> storeText(QByteArrayView text);

    std::vector<Row> m_rows;
    std::vector<char> m_text;

    // Day number → its chain of rows in m_chains, linked through m_next (0 ends a chain). Kept up
    // to date as rows are appended; a saved day's rows stand in a row, so the newest chain is
    // remembered and most appends need no hash lookup.
    QHash<qint32, qint32> m_days;
    std::vector<Chain> m_chains;
    std::vector<qint32> m_next;
    qint32 m_tailDay = 0;
    qint32 m_tailChain = -1;
    quint64 m_changes = 0;
};
