#include "thingmerge.h"

#include "daytable.h"
#include "gbk.h"

namespace thingmerge {

namespace {

// Which side's value of one field stands, or that both changed it differently.
enum class Side { Either, Mine, Theirs, Both };

template <typename T>
Side changed(const T &base, const T &mine, const T &theirs)
{
    if (mine == theirs)
        return Side::Either;
    if (theirs == base)
        return Side::Mine;
    if (mine == base)
        return Side::Theirs;
    return Side::Both;
}

} // namespace

Result merge(const std::optional<ThingInput> &base, const ThingInput &mine, const ThingInput &theirs)
{
    if (mine == theirs)
        return {Outcome::Same, mine};
    if (!base) {
        if (theirs.isEmpty())
            return {Outcome::KeepMine, mine};
        if (mine.isEmpty())
            return {Outcome::TakeTheirs, theirs};
        return {Outcome::Conflict, mine};
    }
    const Side text = changed(base->text, mine.text, theirs.text);
    const Side tick = changed(base->done, mine.done, theirs.done);
    if (text == Side::Both || tick == Side::Both)
        return {Outcome::Conflict, mine};
    const ThingInput value{text == Side::Theirs ? theirs.text : mine.text, tick == Side::Theirs ? theirs.done : mine.done};
    if (value == mine)
        return {Outcome::KeepMine, value};
    if (value == theirs)
        return {Outcome::TakeTheirs, value};
    return {Outcome::Combined, value};
}

std::optional<ThingInput> joined(const ThingInput &mine, const ThingInput &theirs)
{
    // Joined once already (a save or a send cut off after the join, and the choice carried out
    // again): theirs is not added a second time.
    const bool holdsTheirs = mine.text.split(QStringLiteral(" / ")).contains(theirs.text);
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
