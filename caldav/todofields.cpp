#include "todofields.h"

namespace todofields {

namespace {

icaltimetype utc(const QDateTime &when)
{
    return icaltime_from_timet_with_zone(when.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
}

void removeAll(icalcomponent *todo, icalproperty_kind kind)
{
    while (icalproperty *p = icalcomponent_get_first_property(todo, kind)) {
        icalcomponent_remove_property(todo, p);
        icalproperty_free(p);
    }
}

void removeNumber(icalcomponent *todo)
{
    for (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_X_PROPERTY); p;) {
        icalproperty *next = icalcomponent_get_next_property(todo, ICAL_X_PROPERTY);
        if (isNumberProperty(p)) {
            icalcomponent_remove_property(todo, p);
            icalproperty_free(p);
        }
        p = next;
    }
}

} // namespace

QString summary(icalcomponent *todo)
{
    QString text = QString::fromUtf8(icalcomponent_get_summary(todo));
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

bool isDone(icalcomponent *todo)
{
    // icalcomponent_get_status() answers 0, no status of the enumeration, when there is none.
    if (icalproperty *status = icalcomponent_get_first_property(todo, ICAL_STATUS_PROPERTY))
        return icalproperty_get_status(status) == ICAL_STATUS_COMPLETED;
    if (icalcomponent_get_first_property(todo, ICAL_COMPLETED_PROPERTY))
        return true;
    icalproperty *percent = icalcomponent_get_first_property(todo, ICAL_PERCENTCOMPLETE_PROPERTY);
    return percent && icalproperty_get_percentcomplete(percent) >= 100;
}

bool isNumberProperty(icalproperty *p)
{
    const char *name = icalproperty_get_x_name(p);
    return name && qstricmp(name, NumberProperty) == 0;
}

QString numberText(icalcomponent *todo)
{
    for (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_X_PROPERTY)) {
        if (isNumberProperty(p))
            return QString::fromUtf8(icalproperty_get_x(p)).trimmed();
    }
    return {};
}

void setThing(icalcomponent *todo, const ThingInput &thing, int number, const QDateTime &now, bool all)
{
    if (all || summary(todo) != thing.text) {
        removeAll(todo, ICAL_SUMMARY_PROPERTY);
        if (!thing.text.isEmpty()) // calendars reject an empty summary
            icalcomponent_add_property(todo, icalproperty_new_summary(thing.text.toUtf8().constData()));
    }
    // The tick is written only when it changed, so another client's IN-PROCESS and 50 % stay.
    if (all || isDone(todo) != thing.done) {
        removeAll(todo, ICAL_STATUS_PROPERTY);
        removeAll(todo, ICAL_PERCENTCOMPLETE_PROPERTY);
        removeAll(todo, ICAL_COMPLETED_PROPERTY);
        icalcomponent_add_property(
            todo, icalproperty_new_status(thing.done ? ICAL_STATUS_COMPLETED : ICAL_STATUS_NEEDSACTION));
        icalcomponent_add_property(todo, icalproperty_new_percentcomplete(thing.done ? 100 : 0));
        if (thing.done)
            icalcomponent_add_property(todo, icalproperty_new_completed(utc(now)));
    }
    if (numberText(todo) != QString::number(number)) {
        removeNumber(todo);
        icalproperty *p = icalproperty_new_x(QByteArray::number(number).constData());
        icalproperty_set_x_name(p, NumberProperty);
        icalcomponent_add_property(todo, p);
    }
    removeAll(todo, ICAL_DTSTAMP_PROPERTY);
    icalcomponent_add_property(todo, icalproperty_new_dtstamp(utc(now)));
    removeAll(todo, ICAL_LASTMODIFIED_PROPERTY);
    icalcomponent_add_property(todo, icalproperty_new_lastmodified(utc(now)));
}

} // namespace todofields
