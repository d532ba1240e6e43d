#include "thingdecision.h"

#include "thingmerge.h"

namespace thingdecision {

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

bool storable(const QString &text)
{
    const ThingInput thing{text, false};
    return thingmerge::storedThing(thing) == thing;
}

// A value the day file would store differently (no GBK form, too long) cannot be decided on:
// writing it here would change it, so both sides keep theirs until the user changes one.
Decision keepable(const ThingInput &value, const ThingInput &mine)
{
    if (value == mine || storable(value.text))
        return {value, false};
    return {};
}

// A conflict over the whole thing: one side took it away, or nothing is known of an agreement.
Decision wholeThing(const ThingInput &mine, const std::optional<ThingInput> &theirs, std::optional<Choice> settle)
{
    const ThingInput other = theirs.value_or(ThingInput{});
    switch (settle.value_or(Choice::Mine)) {
    case Choice::Mine:
        return settle ? Decision{mine, false} : Decision{};
    case Choice::Theirs:
        return keepable(other, mine);
    case Choice::Both:
        if (const std::optional<ThingInput> both = thingmerge::joined(mine, other))
            return keepable(*both, mine);
        return {std::nullopt, true};
    }
    return {};
}

} // namespace

Decision decide(std::optional<ThingInput> base, const std::optional<ThingInput> &mine,
                const std::optional<ThingInput> &theirs, std::optional<Choice> settle)
{
    // Absence is never a deletion: with no record here, nothing this side did can be known.
    if (!mine)
        base.reset();
    const ThingInput here = mine.value_or(ThingInput{});
    if (!theirs) { // deleted there: it comes through only where this side left the agreed version
        if (here.isEmpty() || (base && here == *base))
            return {ThingInput{}, false};
        return wholeThing(here, theirs, settle);
    }
    const ThingInput &there = *theirs;
    if (here == there)
        return {here, false};
    if (!base) {
        if (there.isEmpty())
            return {here, false};
        if (here.isEmpty())
            return keepable(there, here);
        return wholeThing(here, there, settle);
    }
    const bool emptiedHere = !base->isEmpty() && here.isEmpty();
    const bool emptiedThere = !base->isEmpty() && there.isEmpty();
    if ((emptiedHere && there != *base) || (emptiedThere && here != *base))
        return wholeThing(here, there, settle);

    // A tick has two values: when both sides changed it, they agree. Only the text can conflict,
    // and a text the day file cannot hold as it is is put to the user as if both had changed it.
    const Side text = changed(base->text, here.text, there.text);
    const bool tickThere = changed(base->done, here.done, there.done) == Side::Theirs;
    ThingInput value{text == Side::Theirs ? there.text : here.text, tickThere ? there.done : here.done};
    const bool textAsked = text == Side::Both || (text == Side::Theirs && !storable(there.text));
    if (textAsked) {
        if (!settle)
            return {};
        if (*settle == Choice::Mine) {
            value.text = here.text;
        } else if (*settle == Choice::Theirs) {
            value.text = there.text;
        } else {
            const std::optional<ThingInput> both = thingmerge::joined(here, there);
            if (!both)
                return {std::nullopt, true};
            value.text = both->text;
        }
    }
    // Both sides' changes together leave nothing (a text taken away there, a tick taken away
    // here): neither side emptied the thing, so neither is taken as having done so.
    if (value.isEmpty() && !here.isEmpty() && !there.isEmpty())
        return wholeThing(here, there, settle);
    return keepable(value, here);
}

Decision settle(const Conflict &conflict, Choice choice)
{
    return decide(conflict.base, conflict.mine, conflict.theirs, choice);
}

} // namespace thingdecision
