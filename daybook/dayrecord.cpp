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
    if (!text.isEmpty()) // an empty text may have no storage at all
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

RecordView view(std::span<const char, ImageLength> image)
{
    const char *p = image.data();
    return RecordView{qFromLittleEndian<qint32>(p + ReservedAt), qFromLittleEndian<qint32>(p + ThingNoAt),
                      trimSpaces(QByteArrayView(p + TextAt, ThingTextBytes)), qFromLittleEndian<qint16>(p + DoneAt),
                      qFromLittleEndian<double>(p + DateAt)};
}

DayRecord decode(std::span<const char, ImageLength> image)
{
    const RecordView v = view(image);
    return DayRecord{v.Reserved, v.ThingNo, v.ThingText.toByteArray(), v.Done, v.ThingDate};
}

QByteArrayView trimSpaces(QByteArrayView bytes)
{
    // Most of a stored text is filler: skip it eight bytes at a time.
    constexpr quint64 EightSpaces = 0x2020202020202020ull;
    const char *data = bytes.data();
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (end - begin >= 8) {
        quint64 word;
        std::memcpy(&word, data + end - 8, 8);
        if (word != EightSpaces)
            break;
        end -= 8;
    }
    while (end > begin && data[end - 1] == ' ')
        --end;
    while (begin < end && data[begin] == ' ')
        ++begin;
    return bytes.sliced(begin, end - begin);
}

} // namespace recordimage
