#pragma once

#include <QByteArrayView>
#include <QString>
#include <libical/ical.h>
#include <memory>
#include <variant>

// One calendar object from a server, parsed by libical after the checks that keep libical's work
// bounded: at most todomapping::MaxObjectBytes, valid UTF-8 without NUL, BEGIN and END lines that
// match, components nested at most todomapping::MaxNesting deep; and only what libical writes back
// as it read it. Shared by reading and writing to-dos.
namespace icalobject {

struct ComponentFree
{
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

// The VCALENDAR with its one VTODO, or why there is none (with a hint of the kind).
struct Parsed
{
    Component calendar;
    icalcomponent *todo = nullptr; // owned by calendar
};
struct Failure
{
    bool notATodo = false; // an object with no to-do at all
    bool repeating = false;
    QString why;
};
std::variant<Parsed, Failure> parse(QByteArrayView ics);

// libical's settings for us: errors are reported, never fatal.
void configureLibical();

QString text(const char *utf8);

} // namespace icalobject
