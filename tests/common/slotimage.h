#pragma once

#include <QByteArray>

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

inline QByteArray slot(qint32 reserved, qint32 thingNo, const QByteArray &gbkText, bool done, const char *dateHex,
                       char tailByte = 0)
{
    QByteArray s = le32(reserved) + le32(thingNo);
    QByteArray text = gbkText.left(160);
    text.append(QByteArray(160 - text.size(), ' '));
    s += text;
    s += done ? QByteArray("\xFF\xFF", 2) : QByteArray(2, '\0');
    s += dateBytes(dateHex);
    s += QByteArray(22, tailByte);
    return s;
}

} // namespace slotimage
