#include "dayrecord.h"

#include "gbk.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace recordimage {

namespace {
constexpr qsizetype ReservedAt = 0;
constexpr qsizetype ThingNoAt = 4;
constexpr qsizetype TextAt = 8;
constexpr qsizetype DoneAt = 168;
constexpr qsizetype DateAt = 170;
} // namespace

void encode(const DayRecord &record, std::span<char, SlotLength> slot)
{
    char *p = slot.data();
    std::memset(p, 0, SlotLength);
    qToLittleEndian<qint32>(record.Reserved, p + ReservedAt);
    qToLittleEndian<qint32>(record.ThingNo, p + ThingNoAt);
    const QByteArrayView text = gbk::fit(record.ThingText, ThingTextBytes);
    std::memset(p + TextAt, ' ', ThingTextBytes);
    std::memcpy(p + TextAt, text.data(), size_t(text.size()));
    qToLittleEndian<qint16>(record.Done != 0 ? qint16(-1) : qint16(0), p + DoneAt);
    qToLittleEndian<double>(record.ThingDate, p + DateAt);
}

QByteArray encode(const DayRecord &record)
{
    QByteArray slot(SlotLength, Qt::Uninitialized);
    encode(record, std::span<char, SlotLength>(slot.data(), SlotLength));
    return slot;
}

DayRecord decode(std::span<const char, ImageLength> image)
{
    const char *p = image.data();
    DayRecord r;
    r.Reserved = qFromLittleEndian<qint32>(p + ReservedAt);
    r.ThingNo = qFromLittleEndian<qint32>(p + ThingNoAt);
    r.ThingText = trimSpaces(QByteArrayView(p + TextAt, ThingTextBytes)).toByteArray();
    r.Done = qFromLittleEndian<qint16>(p + DoneAt);
    r.ThingDate = qFromLittleEndian<double>(p + DateAt);
    return r;
}

QByteArrayView trimSpaces(QByteArrayView bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && bytes[begin] == ' ')
        ++begin;
    while (end > begin && bytes[end - 1] == ' ')
        --end;
    return bytes.sliced(begin, end - begin);
}

} // namespace recordimage
