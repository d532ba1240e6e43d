#include "heldthings.h"

#include "thingmerge.h"

#include <algorithm>

void HeldThings::open(const QString &dayFileRealPath)
{
    m_path = heldfile::pathFor(dayFileRealPath);
    heldfile::Set set = heldfile::read(m_ops, m_path);
    m_sequence = set.sequence;
    m_held = std::move(set.held);
    m_problem = IoResult::done();
}

bool HeldThings::holds(const ThingKey &key) const
{
    return std::any_of(m_held.begin(), m_held.end(), [&](const thingdecision::Conflict &c) { return c.key == key; });
}

std::set<ThingKey> HeldThings::keys() const
{
    std::set<ThingKey> keys;
    for (const thingdecision::Conflict &c : m_held)
        keys.insert(c.key);
    return keys;
}

void HeldThings::overlay(QDate day, DayThings &things) const
{
    for (const thingdecision::Conflict &c : m_held) {
        if (c.key.day == day)
            things[size_t(c.key.number - 1)] = c.mine;
    }
}

void HeldThings::holdBack(QDate day, DayThings &things, const DayThings &onFile)
{
    bool change = false;
    for (auto it = m_held.begin(); it != m_held.end();) {
        if (it->key.day != day) {
            ++it;
            continue;
        }
        ThingInput &thing = things[size_t(it->key.number - 1)];
        // As the day file would keep it; a text it cannot keep is held as typed (the held file can).
        const ThingInput mine = thingmerge::storedThing(thing).value_or(thing);
        thing = onFile[size_t(it->key.number - 1)];
        if (it->mine != mine) {
            it->mine = mine;
            change = true;
        }
        // Made the same as the file's by hand: nothing left to decide.
        const bool settled = it->theirs && it->mine == *it->theirs;
        it = settled ? m_held.erase(it) : it + 1;
        change = change || settled;
    }
    if (change)
        changed();
}

void HeldThings::replace(std::vector<thingdecision::Conflict> held)
{
    const auto same = [](const thingdecision::Conflict &a, const thingdecision::Conflict &b) {
        return a.key == b.key && a.base == b.base && a.mine == b.mine && a.theirs == b.theirs
            && a.theirVersion == b.theirVersion;
    };
    const bool change = !std::equal(held.begin(), held.end(), m_held.begin(), m_held.end(), same);
    m_held = std::move(held);
    if (change)
        changed();
}

bool HeldThings::keep()
{
    if (!isKept())
        changed();
    return isKept();
}

void HeldThings::changed()
{
    if (m_path.isEmpty())
        return;
    // Numbered on, even after a failure: a set the failed write left whole is never newer.
    m_problem = heldfile::write(m_ops, m_path, {++m_sequence, m_held});
}
