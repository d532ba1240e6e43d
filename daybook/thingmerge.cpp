#include "thingmerge.h"

#include "daytable.h"
#include "gbk.h"

namespace thingmerge {

std::optional<ThingInput> joined(const ThingInput &mine, const ThingInput &theirs)
{
    // Theirs as one whole run of the joined parts, whatever " / " it holds itself.
    const QString separator = QStringLiteral(" / ");
    const bool holdsTheirs = (separator + mine.text + separator).contains(separator + theirs.text + separator);
    const QString text = mine.text.isEmpty() ? theirs.text
        : theirs.text.isEmpty() || holdsTheirs ? mine.text
                                               : mine.text + QStringLiteral(" / ") + theirs.text;
    const auto bytes = gbk::encode(text.trimmed());
    if (!bytes || bytes->size() > recordimage::ThingTextBytes)
        return std::nullopt;
    return ThingInput{text.trimmed(), mine.done && theirs.done};
}

std::optional<ThingInput> storedThing(const ThingInput &thing)
{
    const auto bytes = gbk::encode(thing.text);
    if (!bytes)
        return std::nullopt;
    return ThingInput{gbk::decode(DayTable::storedText(*bytes)), thing.done};
}

} // namespace thingmerge
