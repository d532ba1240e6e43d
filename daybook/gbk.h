#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// Things are stored in the GBK code page (Windows code page 936), as day files have always been.
// A character without a GBK form is never replaced by something else: encoding reports it instead.
//
// Stored bytes that do not decode to a character and back (a damaged file, another program's
// bytes) are kept: each becomes a stand-in, the private-use character U+F0000 plus the byte, which
// shows as a box, and encoding turns a stand-in back into its byte. A day holding such bytes
// therefore saves them unchanged unless the user deletes them.
namespace gbk {

// The stand-in for a stored byte (0x80 to 0xFF) that is not part of a GBK character.
char32_t standInFor(unsigned char byte);
// Whether text holds a stand-in: the day file's own bookkeeping, not text a user wrote or can write.
bool holdsStandIn(QStringView text);
// text with each stand-in as U+FFFD, the character other programs show for bytes they cannot read.
QString withoutStandIns(QStringView text);

// The GBK bytes of text, or nothing when some character has no GBK form.
std::optional<QByteArray> encode(QStringView text);

// Whether every character of text has a GBK form.
bool canEncode(QStringView text);

// The text of stored bytes; encode() gives the very same bytes back. The codec alone reads 80 as
// the euro sign and FF as U+F8F5 (both encode back to their byte), but turns a lead byte followed
// by a byte that cannot end a pair into U+FFFD and drops a lead byte at the end; those become
// stand-ins here.
QString decode(QByteArrayView bytes);

// How many bytes the character at p takes: two for a lead byte (0x81 to 0xFE) followed by a
// byte that can end a pair (0x40 to 0xFE but 0x7F), one for anything else. The one rule of where
// characters begin, for cutting, decoding and search alike.
inline qsizetype charWidth(const uchar *p, const uchar *end)
{
    return p[0] >= 0x81 && p[0] <= 0xFE && end - p >= 2 && p[1] >= 0x40 && p[1] <= 0xFE && p[1] != 0x7F ? 2 : 1;
}

// The longest prefix of GBK bytes that fits maxBytes without splitting a double-byte character.
QByteArrayView fit(QByteArrayView bytes, qsizetype maxBytes);

} // namespace gbk
