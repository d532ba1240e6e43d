#include "icalendar.h"

namespace {

constexpr qsizetype MaxLineOctets = 75;

// A TEXT value: backslash, semicolon and comma escaped, a line break as \n. Other control
// characters are not allowed in a value and are left out.
QByteArray escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' || c == u';' || c == u',') {
            out += u'\\';
            out += c;
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += QStringLiteral("\\n");
        } else if (c != u'\t' && (c.unicode() < 0x20 || c.unicode() == 0x7F)) {
            continue;
        } else {
            out += c;
        }
    }
    return out.toUtf8();
}

// Appends one content line, folded into lines of at most 75 octets; a continuation line starts
// with a space, and no UTF-8 character is split.
void appendLine(QByteArray &out, QByteArrayView line)
{
    qsizetype room = MaxLineOctets;
    while (line.size() > room) {
        qsizetype cut = room;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut; // back to the start of the character
        out += line.first(cut);
        out += "\r\n ";
        line = line.sliced(cut);
        room = MaxLineOctets - 1;
    }
    out += line;
    out += "\r\n";
}

QByteArray basicDate(QDate day)
{
    return QByteArray::number(day.year()).rightJustified(4, '0') + QByteArray::number(day.month()).rightJustified(2, '0')
        + QByteArray::number(day.day()).rightJustified(2, '0');
}

} // namespace

QByteArray icalendar(const std::vector<DatedThing> &things, const QDateTime &stamp)
{
    const QByteArray dtstamp = stamp.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
    QByteArray out;
    appendLine(out, "BEGIN:VCALENDAR");
    appendLine(out, "VERSION:2.0");
    appendLine(out, "PRODID:-//Tallyleaf//tallyleaf-tool " TALLYLEAF_VERSION "//ZH");
    for (const DatedThing &thing : things) {
        const QByteArray due = basicDate(thing.day);
        appendLine(out, "BEGIN:VTODO");
        // The day and the position name a thing for good, so a calendar that imports the file
        // again updates its to-dos instead of doubling them.
        appendLine(out, "UID:" + due + '-' + QByteArray::number(thing.number) + "@tallyleaf");
        appendLine(out, "DTSTAMP:" + dtstamp);
        appendLine(out, "DUE;VALUE=DATE:" + due);
        if (!thing.text.isEmpty()) // a ticked thing without text; calendars reject an empty summary
            appendLine(out, "SUMMARY:" + escaped(thing.text));
        appendLine(out, thing.done ? "STATUS:COMPLETED" : "STATUS:NEEDS-ACTION");
        if (thing.done) // some clients show the percentage alone, 0 % unless it is given
            appendLine(out, "PERCENT-COMPLETE:100");
        appendLine(out, "END:VTODO");
    }
    appendLine(out, "END:VCALENDAR");
    return out;
}
