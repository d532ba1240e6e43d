#pragma once

#include <QByteArray>
#include <cstring>

// Day-file slots assembled byte by byte, independently of the program's own encoder, so that
// tests compare what the program writes with what a day file must hold.
namespace slotimage {

inline QByteArray le32(qint32 v)
{
    const auto u = quint32(v);
    const char bytes[4] = {char(u & 0xFF), char((u >> 8) & 0xFF), char((u >> 16) & 0xFF), char(u >> 24)};
    return QByteArray(bytes, 4);
}

// The eight bytes of a few whole-day doubles, as an x86 stores them.
inline QByteArray dateBytes(const char *hex) { return QByteArray::fromHex(hex); }
inline const char *Day41411 = "000000006038e440"; // 17 May 2013
inline const char *Day41412 = "0000000080 38e440"; // 18 May 2013
inline const char *DayZero = "0000000000000000";
// Any date, as this (little-endian) machine stores a double.
inline QByteArray dateBytes(double day)
{
    char bytes[8];
    std::memcpy(bytes, &day, 8);
    return QByteArray(bytes, 8);
}

inline QByteArray slotWithDate(qint32 reserved, qint32 thingNo, const QByteArray &gbkText, bool done,
                               const QByteArray &date, char tailByte = 0)
{
    QByteArray s = le32(reserved) + le32(thingNo);
    QByteArray text = gbkText.left(160);
    text.append(QByteArray(160 - text.size(), ' '));
    s += text;
    s += done ? QByteArray("\xFF\xFF", 2) : QByteArray(2, '\0');
    s += date;
    s += QByteArray(22, tailByte);
    return s;
}

inline QByteArray slot(qint32 reserved, qint32 thingNo, const QByteArray &gbkText, bool done, const char *dateHex,
                       char tailByte = 0)
{
    return slotWithDate(reserved, thingNo, gbkText, done, dateBytes(dateHex), tailByte);
}

inline QByteArray slot(qint32 reserved, qint32 thingNo, const QByteArray &gbkText, bool done, double date)
{
    return slotWithDate(reserved, thingNo, gbkText, done, dateBytes(date));
}

// The five slots a saved day owns, things 1 to 5 in order, none done; thing n says "<text>-n".
inline QByteArray daySlots(double date, const QByteArray &text, qint32 reserved = 0)
{
    QByteArray bytes;
    for (int no = 1; no <= 5; ++no)
        bytes += slot(reserved, no, text + '-' + QByteArray::number(no), false, date);
    return bytes;
}

// count days from firstDay on; thing n of day d says "<tag>d-n".
inline QByteArray taggedDays(int count, double firstDay, const QByteArray &tag, qint32 reserved = 0)
{
    QByteArray bytes;
    for (int d = 0; d < count; ++d)
        bytes += daySlots(firstDay + d, tag + QByteArray::number(d), reserved);
    return bytes;
}

// count days from firstDay on; thing n of day d says "day d-n".
inline QByteArray days(int count, double firstDay, qint32 reserved = 0)
{
    return taggedDays(count, firstDay, "day ", reserved);
}

} // namespace slotimage
