#include "icalobject.h"

#include "todomapping.h"

#include <QStringDecoder>
#include <cctype>
#include <cstdlib>
#include <mutex>

namespace icalobject {

namespace {

// What is wrong with the object's BEGIN and END lines, read on the unfolded lines before libical
// sees them: libical builds odd trees from mismatched ones without a word. Also bounds its work:
// at most MaxNesting deep and MaxComponents in all.
QString structureProblem(QByteArrayView ics)
{
    std::vector<QByteArray> open;
    int components = 0;
    int topLevel = 0;
    qsizetype start = 0;
    while (start < ics.size()) {
        qsizetype end = ics.indexOf('\n', start);
        if (end < 0)
            end = ics.size();
        QByteArray line = ics.sliced(start, end - start).toByteArray();
        // A folded line (continuing with a space or tab) can split a keyword: join it first.
        while (end + 1 < ics.size() && (ics[end + 1] == ' ' || ics[end + 1] == '\t')) {
            const qsizetype next = ics.indexOf('\n', end + 1);
            const qsizetype stop = next < 0 ? ics.size() : next;
            if (line.endsWith('\r'))
                line.chop(1);
            line += ics.sliced(end + 2, stop - end - 2);
            end = stop;
        }
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        const bool begins = qstrnicmp(line.constData(), "BEGIN:", 6) == 0;
        const bool ends = qstrnicmp(line.constData(), "END:", 4) == 0;
        if (!begins && !ends)
            continue;
        const QByteArray name = line.mid(begins ? 6 : 4).toUpper();
        if (name.isEmpty() || !std::all_of(name.begin(), name.end(), [](char c) { return std::isalnum(uchar(c)) || c == '-'; }))
            return QStringLiteral("a component has no valid name");
        if (begins) {
            if (open.empty() && ++topLevel > 1)
                return QStringLiteral("it holds more than one object");
            open.push_back(name);
            if (int(open.size()) > todomapping::MaxNesting || ++components > todomapping::MaxComponents)
                return QStringLiteral("its parts are nested too deeply or are too many");
        } else {
            if (open.empty() || open.back() != name)
                return QStringLiteral("its BEGIN and END lines do not match");
            open.pop_back();
        }
    }
    return open.empty() ? QString() : QStringLiteral("it ends before its END lines");
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

// RFC 5545 allows these once in a to-do; with two, which one a client shows is anybody's guess.
QString repeatedProperty(icalcomponent *todo)
{
    for (icalproperty_kind kind :
         {ICAL_UID_PROPERTY, ICAL_DTSTAMP_PROPERTY, ICAL_SUMMARY_PROPERTY, ICAL_STATUS_PROPERTY, ICAL_DUE_PROPERTY,
          ICAL_DTSTART_PROPERTY, ICAL_COMPLETED_PROPERTY, ICAL_PERCENTCOMPLETE_PROPERTY, ICAL_DURATION_PROPERTY}) {
        if (icalcomponent_count_properties(todo, kind) > 1)
            return QString::fromLatin1(icalproperty_kind_to_string(kind));
    }
    return {};
}

// What libical writes of the object it read, it must read again without a fault: an update is
// written the same way.
bool writesBack(icalcomponent *root)
{
    char *written = icalcomponent_as_ical_string_r(root);
    Component again(icalparser_parse_string(written));
    std::free(written);
    return again && icalcomponent_count_errors(again.get()) == 0;
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
    if (const QString problem = structureProblem(ics); !problem.isEmpty())
        return Failure{false, false, problem};

    const QByteArray terminated = ics.toByteArray(); // libical reads up to a NUL
    Component root(icalparser_parse_string(terminated.constData()));
    if (!root || icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT)
        return Failure{false, false, QStringLiteral("it is not one iCalendar object")};
    if (icalcomponent_count_errors(root.get()) > 0) {
        // libical drops what it cannot read; writing the rest back would lose it.
        return Failure{false, false, QStringLiteral("libical cannot read all of it (%1)").arg(firstError(root.get()))};
    }
    if (!writesBack(root.get()))
        return Failure{false, false, QStringLiteral("libical cannot write it back as it reads it")};
    const int todos = icalcomponent_count_components(root.get(), ICAL_VTODO_COMPONENT);
    if (todos == 0)
        return Failure{true, false, QStringLiteral("it is no to-do")};
    icalcomponent *todo = icalcomponent_get_first_component(root.get(), ICAL_VTODO_COMPONENT);
    if (todos > 1 || repeats(todo))
        return Failure{false, true, QStringLiteral("it is a repeating to-do")};
    if (const QString twice = repeatedProperty(todo); !twice.isEmpty())
        return Failure{false, false, QStringLiteral("it holds %1 more than once").arg(twice)};
    return Parsed{std::move(root), todo};
}

} // namespace icalobject
