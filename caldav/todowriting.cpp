// Writing to-dos: a new one for a thing made here, or another client's with a thing's fields set.
#include "icalobject.h"
#include "todofields.h"
#include "todomapping.h"

#include <cstdlib>

namespace todomapping {

namespace {

QByteArray serialised(icalcomponent *calendar)
{
    char *ics = icalcomponent_as_ical_string_r(calendar);
    QByteArray out(ics);
    std::free(ics);
    return out;
}

} // namespace

QByteArray created(const QString &uid, const ThingKey &key, const ThingInput &thing, const QDateTime &now)
{
    icalobject::configureLibical();
    icalobject::Component calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid("-//Tallyleaf//tallyleaf " TALLYLEAF_VERSION "//ZH"));
    icalcomponent *todo = icalcomponent_new(ICAL_VTODO_COMPONENT);
    icalcomponent_add_component(calendar.get(), todo);
    icalcomponent_add_property(todo, icalproperty_new_uid(uid.toUtf8().constData()));
    icaltimetype due = icaltime_null_date();
    due.year = key.day.year();
    due.month = key.day.month();
    due.day = key.day.day();
    icalcomponent_add_property(todo, icalproperty_new_due(due));
    todofields::setThing(todo, thing, key.number, now, true);
    return serialised(calendar.get());
}

std::optional<QByteArray> updated(QByteArrayView ics, const ThingInput &thing, int number, const QDateTime &now)
{
    auto parsed = icalobject::parse(ics);
    auto *object = std::get_if<icalobject::Parsed>(&parsed);
    if (!object)
        return std::nullopt;
    todofields::setThing(object->todo, thing, number, now, false);
    return serialised(object->calendar.get());
}

} // namespace todomapping
