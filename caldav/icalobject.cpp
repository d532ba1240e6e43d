#include "icalobject.h"

#include "todomapping.h"

#include <QStringDecoder>
#include <mutex>

namespace icalobject {

namespace {

// Components nested deeper than MaxNesting or more than MaxComponents, counted on the unfolded
// lines before libical sees them.
bool tooComplex(QByteArrayView ics)
{
    int depth = 0;
    int components = 0;
    qsizetype start = 0;
    while (start < ics.size()) {
        qsizetype end = ics.indexOf('\n', start);
        if (end < 0)
            end = ics.size();
        const QByteArrayView line = ics.sliced(start, end - start);
        // A folded line (continuing with a space or tab) can split a keyword: join it first.
        QByteArray joined = line.toByteArray();
        while (end + 1 < ics.size() && (ics[end + 1] == ' ' || ics[end + 1] == '\t')) {
            const qsizetype next = ics.indexOf('\n', end + 1);
            const qsizetype stop = next < 0 ? ics.size() : next;
            if (joined.endsWith('\r'))
                joined.chop(1);
            joined += ics.sliced(end + 2, stop - end - 2);
            end = stop;
        }
        if (qstrnicmp(joined.constData(), "BEGIN:", 6) == 0) {
            if (++depth > todomapping::MaxNesting || ++components > todomapping::MaxComponents)
                return true;
        } else if (qstrnicmp(joined.constData(), "END:", 4) == 0) {
            --depth;
        }
        start = end + 1;
    }
    return false;
}

QString firstError(icalcomponent *c)
{
    if (icalproperty *p = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY))
        return text(icalproperty_get_xlicerror(p));
    for (icalcomponent *sub = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); sub;
         sub = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT)) {
        if (QString why = firstError(sub); !why.isEmpty())
            return why;
    }
    return {};
}

bool repeats(icalcomponent *todo)
{
    return icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY)
        || icalcomponent_get_first_property(todo, ICAL_RDATE_PROPERTY)
        || icalcomponent_get_first_property(todo, ICAL_RECURRENCEID_PROPERTY);
}

} // namespace

void configureLibical()
{
    static std::once_flag once;
    std::call_once(once, [] {
        icalerror_set_errors_are_fatal(0);
        ical_set_unknown_token_handling_setting(ICAL_ASSUME_IANA_TOKEN);
    });
}

QString text(const char *utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

std::variant<Parsed, Failure> parse(QByteArrayView ics)
{
    configureLibical();
    if (ics.size() > todomapping::MaxObjectBytes)
        return Failure{false, false, QStringLiteral("it is larger than %1 bytes").arg(todomapping::MaxObjectBytes)};
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)QString(utf8.decode(ics)); // only the verdict matters
    if (utf8.hasError())
        return Failure{false, false, QStringLiteral("it is not valid UTF-8")};
    if (ics.contains('\0'))
        return Failure{false, false, QStringLiteral("it holds a NUL character")};
    if (tooComplex(ics))
        return Failure{false, false, QStringLiteral("its parts are nested too deeply or are too many")};

    const QByteArray terminated = ics.toByteArray(); // libical reads up to a NUL
    Component root(icalparser_parse_string(terminated.constData()));
    if (!root || icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT)
        return Failure{false, false, QStringLiteral("it is not one iCalendar object")};
    if (icalcomponent_count_errors(root.get()) > 0) {
        // libical drops what it cannot read; writing the rest back would lose it.
        return Failure{false, false, QStringLiteral("libical cannot read all of it (%1)").arg(firstError(root.get()))};
    }
    const int todos = icalcomponent_count_components(root.get(), ICAL_VTODO_COMPONENT);
    if (todos == 0)
        return Failure{true, false, QStringLiteral("it is no to-do")};
    icalcomponent *todo = icalcomponent_get_first_component(root.get(), ICAL_VTODO_COMPONENT);
    if (todos > 1 || repeats(todo))
        return Failure{false, true, QStringLiteral("it is a repeating to-do")};
    return Parsed{std::move(root), todo};
}

} // namespace icalobject
