#include "icalobject.h"

#include "todomapping.h"

#include <QStringDecoder>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace icalobject {

namespace {

// The object's content lines with their folding undone, without line ends.
std::vector<QByteArray> unfoldedLines(QByteArrayView ics)
{
    std::vector<QByteArray> lines;
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
        lines.push_back(std::move(line));
    }
    return lines;
}

// A BEGIN or END line: the component it opens or closes, upper-cased.
struct Boundary
{
    bool begins = false;
    QByteArray name;
};

std::optional<Boundary> boundaryOf(const QByteArray &line)
{
    const bool begins = qstrnicmp(line.constData(), "BEGIN:", 6) == 0;
    if (!begins && qstrnicmp(line.constData(), "END:", 4) != 0)
        return std::nullopt;
    return Boundary{begins, line.mid(begins ? 6 : 4).toUpper()};
}

// What is wrong with the object's BEGIN and END lines, read on the unfolded lines before libical
// sees them: libical builds odd trees from mismatched ones without a word. Also bounds its work:
// at most MaxNesting deep and MaxComponents in all.
QString structureProblem(const std::vector<QByteArray> &lines)
{
    std::vector<QByteArray> open;
    int components = 0;
    int topLevel = 0;
    for (const QByteArray &line : lines) {
        const std::optional<Boundary> boundary = boundaryOf(line);
        if (!boundary)
            continue;
        const QByteArray &name = boundary->name;
        if (name.isEmpty() || !std::all_of(name.begin(), name.end(), [](char c) { return std::isalnum(uchar(c)) || c == '-'; }))
            return QStringLiteral("a component has no valid name");
        if (boundary->begins) {
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

// The to-do's UID as the object spells it, escapes and all; lines whose structure
// structureProblem has passed.
std::optional<QByteArray> spelledUid(const std::vector<QByteArray> &lines)
{
    std::vector<QByteArray> open;
    for (const QByteArray &line : lines) {
        if (const std::optional<Boundary> boundary = boundaryOf(line)) {
            if (boundary->begins)
                open.push_back(boundary->name);
            else
                open.pop_back();
            continue;
        }
        if (open.empty() || open.back() != "VTODO")
            continue;
        qsizetype colon = -1;
        bool quoted = false; // a parameter's value in quotes may hold a colon
        for (qsizetype i = 0; i < line.size() && colon < 0; ++i) {
            if (line[i] == '"')
                quoted = !quoted;
            else if (line[i] == ':' && !quoted)
                colon = i;
        }
        if (colon > 0 && qstricmp(line.left(colon).split(';').constFirst().constData(), "UID") == 0)
            return line.mid(colon + 1);
    }
    return std::nullopt;
}

// A TEXT value as iCalendar reads it: a backslash escapes a backslash, a semicolon, a comma or
// a line break (n, N), and nothing else. libical reads any other escape as a space and drops
// leading spaces, so a UID it reads otherwise than this names another to-do on the server.
std::optional<QString> textValue(const QByteArray &spelled)
{
    QByteArray value;
    for (qsizetype i = 0; i < spelled.size(); ++i) {
        if (spelled[i] != '\\') {
            value += spelled[i];
            continue;
        }
        if (++i == spelled.size())
            return std::nullopt;
        switch (spelled[i]) {
        case '\\': case ';': case ',':
            value += spelled[i];
            break;
        case 'n': case 'N':
            value += '\n';
            break;
        default:
            return std::nullopt;
        }
    }
    return QString::fromUtf8(value);
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
    const std::vector<QByteArray> lines = unfoldedLines(ics);
    if (const QString problem = structureProblem(lines); !problem.isEmpty())
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
    // Written back, the UID is libical's reading of it: that must be the server's. libical also
    // finds a UID in a line without a colon, which no other reader takes for one.
    const QString uid = text(icalcomponent_get_uid(todo));
    const std::optional<QByteArray> spelled = spelledUid(lines);
    if (!uid.isEmpty() && (!spelled || textValue(*spelled) != uid))
        return Failure{false, false, QStringLiteral("its UID \"%1\" would be written back as another (an escape iCalendar "
                                                    "does not know, a leading space, no colon)").arg(uid)};
    return Parsed{std::move(root), todo};
}

} // namespace icalobject
