#include "todomapping.h"

#include "dayrecord.h"
#include "gbk.h"
#include "icalobject.h"
#include "oledate.h"
#include "thingmerge.h"
#include "todofields.h"

#include <QStringList>
#include <QTimeZone>
#include <set>

namespace todomapping {

namespace {

using icalobject::text;

std::optional<QDate> dateOf(icalcomponent *todo, icalproperty_kind kind)
{
    icalproperty *p = icalcomponent_get_first_property(todo, kind);
    if (!p)
        return std::nullopt;
    const icaltimetype t = kind == ICAL_DUE_PROPERTY ? icalproperty_get_due(p) : icalproperty_get_dtstart(p);
    if (icaltime_is_null_time(t) || !QDate::isValid(t.year, t.month, t.day))
        return std::nullopt;
    QDate day(t.year, t.month, t.day);
    // A time in UTC is a moment: its day is the one it falls on here. Other times are taken as
    // written, in the zone the other client chose.
    if (!t.is_date && icaltime_is_utc(t))
        day = QDateTime(day, QTime(t.hour, t.minute, t.second), QTimeZone::utc()).toLocalTime().date();
    if (!oledate::inRange(day))
        return std::nullopt;
    return day;
}

std::optional<int> numberOf(icalcomponent *todo)
{
    bool ok = false;
    const int number = todofields::numberText(todo).toInt(&ok);
    return ok && number >= 1 && number <= 5 ? std::optional<int>(number) : std::nullopt;
}

// The characters of text that have no GBK form, each once, the first five.
QString charactersWithoutGbkForm(const QString &text)
{
    QString found;
    std::set<char32_t> seen;
    for (char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if ((!gbk::canEncode(one) || gbk::holdsStandIn(one)) && seen.insert(c).second && seen.size() <= 5)
            found += one;
    }
    return found;
}

// The same for the user: "😀 (U+1F600)".
QString withoutGbkForm(const QString &text)
{
    QStringList found;
    for (char32_t c : charactersWithoutGbkForm(text).toUcs4())
        found << QStringLiteral("%1 (U+%2)").arg(QString::fromUcs4(&c, 1)).arg(quint32(c), 4, 16, QLatin1Char('0')).toUpper();
    return found.join(QStringLiteral(", "));
}

bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

// Only what Tallyleaf itself writes: such a to-do can be written again from its thing alone.
bool isPlain(icalcomponent *calendar, icalcomponent *todo)
{
    static const std::set<icalproperty_kind> ours = {ICAL_UID_PROPERTY, ICAL_DTSTAMP_PROPERTY, ICAL_DUE_PROPERTY,
                                                     ICAL_SUMMARY_PROPERTY, ICAL_STATUS_PROPERTY,
                                                     ICAL_PERCENTCOMPLETE_PROPERTY, ICAL_LASTMODIFIED_PROPERTY};
    for (icalproperty *p = icalcomponent_get_first_property(calendar, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(calendar, ICAL_ANY_PROPERTY)) {
        const icalproperty_kind kind = icalproperty_isa(p);
        if (kind != ICAL_VERSION_PROPERTY && kind != ICAL_PRODID_PROPERTY && kind != ICAL_CALSCALE_PROPERTY)
            return false;
    }
    if (icalcomponent_count_components(calendar, ICAL_ANY_COMPONENT) != 1
        || icalcomponent_count_components(todo, ICAL_ANY_COMPONENT) != 0)
        return false;
    for (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_ANY_PROPERTY)) {
        const icalproperty_kind kind = icalproperty_isa(p);
        const bool number = kind == ICAL_X_PROPERTY && todofields::isNumberProperty(p);
        if (!number && !ours.count(kind))
            return false;
        const int allowedParameters = kind == ICAL_DUE_PROPERTY ? 1 : 0; // VALUE=DATE
        if (icalproperty_count_parameters(p) > allowedParameters)
            return false;
        if (kind == ICAL_DUE_PROPERTY && !icalproperty_get_due(p).is_date)
            return false;
    }
    return true;
}

} // namespace

Reading read(QByteArrayView ics)
{
    auto parsed = icalobject::parse(ics);
    if (const auto *failure = std::get_if<icalobject::Failure>(&parsed)) {
        const Refusal::Kind kind = failure->notATodo ? Refusal::Kind::NotATodo
            : failure->repeating                     ? Refusal::Kind::Repeating
                                                     : Refusal::Kind::Unreadable;
        return Refusal{kind, failure->why, {}, {}, {}};
    }
    icalcomponent *todo = std::get<icalobject::Parsed>(parsed).todo;
    icalcomponent *calendar = std::get<icalobject::Parsed>(parsed).calendar.get();

    Todo read;
    read.uid = text(icalcomponent_get_uid(todo));
    const QString summary = todofields::summary(todo);
    if (read.uid.isEmpty() || hasControlCharacter(read.uid))
        return Refusal{Refusal::Kind::Unreadable, QStringLiteral("it has no UID that can be kept"), {}, summary, {}};
    auto refuse = [&](Refusal::Kind kind, const QString &why) {
        return Refusal{kind, why, read.uid, summary, ThingInput{summary, todofields::isDone(todo)}};
    };

    if (hasControlCharacter(summary))
        return refuse(Refusal::Kind::LineBreak, QStringLiteral("its summary has line breaks or control characters"));
    if (!gbk::canEncode(summary) || gbk::holdsStandIn(summary)) {
        Refusal refusal = refuse(Refusal::Kind::NoGbkForm, QStringLiteral("its summary has characters without a GBK form: %1")
                                                                .arg(withoutGbkForm(summary)));
        refusal.characters = charactersWithoutGbkForm(summary);
        return refusal;
    }
    const std::optional<ThingInput> stored = thingmerge::storedThing({summary, todofields::isDone(todo)});
    if (!stored || stored->text != summary) { // the day file would have cut it
        const int bytes = int(gbk::encode(summary).value_or(QByteArray()).size());
        Refusal refusal = refuse(Refusal::Kind::TooLong, QStringLiteral("its summary is longer than a thing's %1 GBK bytes (%2)")
                                                             .arg(recordimage::ThingTextBytes)
                                                             .arg(bytes));
        refusal.bytes = bytes;
        return refusal;
    }
    read.thing = *stored;
    read.day = dateOf(todo, ICAL_DUE_PROPERTY);
    if (!read.day)
        read.day = dateOf(todo, ICAL_DTSTART_PROPERTY);
    read.number = numberOf(todo);
    read.plain = isPlain(calendar, todo);
    return read;
}

QString uidFor(const ThingKey &key, int suffix)
{
    const QString base = key.day.toString(u"yyyyMMdd") + QLatin1Char('-') + QString::number(key.number);
    return (suffix > 1 ? base + QLatin1Char('-') + QString::number(suffix) : base) + QStringLiteral("@tallyleaf");
}

} // namespace todomapping
