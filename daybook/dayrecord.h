#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <span>

// One thing of one day. ThingText is kept as the GBK bytes of the day file with the filler
// spaces trimmed, so loading a day file never has to decode text nobody looks at.
struct DayRecord
{
    qint32 Reserved = 0;   // never interpreted; written back as it was read
    qint32 ThingNo = 0;    // position 1 to 5 within its day; 0 in a blank record
    QByteArray ThingText;  // GBK, without leading or trailing spaces, at most ThingTextBytes
    qint16 Done = 0;       // any non-zero value means done
    double ThingDate = 0;  // OLE Automation date, a whole day

    bool isDone() const { return Done != 0; }
    friend bool operator==(const DayRecord &, const DayRecord &) = default;
};

namespace recordimage {

inline constexpr qsizetype ImageLength = 178; // the record's bytes at the start of a slot
inline constexpr qsizetype SlotLength = 200;  // DaySlotLength: one record per slot, no header
inline constexpr qsizetype ThingTextBytes = 160;

// Writes the record into a whole slot: the 178-byte image, little-endian, the text padded with
// spaces, Done as 0xFFFF or 0x0000, then zeros to the end of the slot.
void encode(const DayRecord &record, std::span<char, SlotLength> slot);
QByteArray encode(const DayRecord &record);

// A record read in place from the first 178 bytes of a slot; the text is a view into the image,
// without its filler spaces.
struct RecordView
{
    qint32 Reserved;
    qint32 ThingNo;
    QByteArrayView ThingText;
    qint16 Done;
    double ThingDate;
};
RecordView view(std::span<const char, ImageLength> image);

// Reads a record from the first 178 bytes of a slot; the text loses its filler spaces.
DayRecord decode(std::span<const char, ImageLength> image);

// Leading and trailing spaces (0x20) removed. 0x20 never occurs inside a GBK double-byte
// character, so trimming the bytes trims the text.
QByteArrayView trimSpaces(QByteArrayView bytes);

} // namespace recordimage
