#pragma once

#include "daythings.h"
#include "thingkey.h"

#include <QByteArray>
#include <QDateTime>
#include <optional>
#include <variant>

// A to-do on the calendar server and a thing of the day book, read and written through libical.
// Reading refuses, with a reason for the user, whatever the day file cannot hold as it is: a
// summary with characters that have no GBK form or longer than a thing's 160 bytes, line breaks,
// and objects that are no single to-do or that libical cannot read whole. Nothing is cut.
// Writing changes only the fields a thing has and keeps everything else the other client wrote.
namespace todomapping {

inline constexpr qsizetype MaxObjectBytes = 1 << 20;
inline constexpr int MaxNesting = 8;         // VCALENDAR > VTODO > VALARM needs three
inline constexpr int MaxComponents = 256;    // a time zone with its rules takes a few

struct Todo
{
    QString uid;
    std::optional<QDate> day;   // DUE, else DTSTART
    std::optional<int> number;  // our own property, when it names 1 to 5
    ThingInput thing;           // as the day file stores it
    bool plain = false;         // nothing but what Tallyleaf writes: it can be made again from the thing
};

struct Refusal
{
    enum class Kind {
        NotATodo,   // an event, a journal: not a thing, not worth a word
        Unreadable, // not valid UTF-8, too large or nested, malformed, no UID
        Repeating,  // a to-do that repeats, which one thing cannot show
        NoGbkForm,  // the summary has characters without a GBK form
        TooLong,    // the summary is longer than a thing's 160 GBK bytes
        LineBreak,  // the summary has line breaks or other control characters
    };
    Kind kind = Kind::Unreadable;
    QString why;     // for the user
    QString uid;     // when it could be read
    QString summary; // when it could be read, to name the to-do
    // With NoGbkForm, TooLong and LineBreak: the thing the to-do holds, which the day file cannot
    // hold as it is. Another version of a linked thing, put to the user beside this side's.
    std::optional<ThingInput> thing;
    QString characters; // with NoGbkForm: those without a GBK form, each once, the first five
    int bytes = 0;      // with TooLong: the summary's length in GBK
};

using Reading = std::variant<Todo, Refusal>;

Reading read(QByteArrayView ics);

// A new to-do for a thing made here. uid names it for good; now is its time stamp.
QByteArray created(const QString &uid, const ThingKey &key, const ThingInput &thing, const QDateTime &now);

// ics with the thing's text, tick and number set and everything else kept; nothing when ics is
// not one to-do that read() takes.
std::optional<QByteArray> updated(QByteArrayView ics, const ThingInput &thing, int number, const QDateTime &now);

// The UID of a thing made here: the day and the number, so a creation that is repeated finds the
// first one. A later to-do of the same thing (the first went to another thing) gets a suffix.
QString uidFor(const ThingKey &key, int suffix = 1);

} // namespace todomapping
