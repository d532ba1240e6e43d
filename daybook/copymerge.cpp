#include "copymerge.h"

#include "daytable.h"
#include "oledate.h"
#include "thingmerge.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <map>

namespace copymerge {

namespace {

// What table holds of one thing, as stored; nothing when it has no record of it.
std::optional<ThingInput> thingIn(const DayTable &table, QDate day, qint32 number)
{
    const auto index = table.find(oledate::fromDate(day), number);
    if (!index)
        return std::nullopt;
    return thingOf(table, *index);
}

// The days to write, gathered: each starts from what table holds of it.
class DaysToWrite
{
public:
    explicit DaysToWrite(const DayTable &table) : m_table(table) {}
    void set(QDate day, qint32 number, const ThingInput &thing)
    {
        auto it = m_days.find(day);
        if (it == m_days.end())
            it = m_days.emplace(day, thingsOfDay(m_table, day)).first;
        it->second[size_t(number - 1)] = thing;
    }
    std::vector<std::pair<QDate, DayThings>> days() const { return {m_days.begin(), m_days.end()}; }

private:
    const DayTable &m_table;
    std::map<QDate, DayThings> m_days;
};

} // namespace

Plan intoReplacement(const std::vector<DayFile::OwedThing> &owed, const DayTable &theirs)
{
    Plan plan;
    DaysToWrite writes(theirs);
    for (const DayFile::OwedThing &thing : owed) {
        const std::optional<ThingInput> onTheirSide = thingIn(theirs, thing.day, thing.number);
        const ThingInput base = thing.base.value_or(ThingInput{}); // appended here: nothing before
        const ThingInput other = onTheirSide ? *onTheirSide : base;
        const thingdecision::Decision d = thingdecision::decide(base, thing.mine, other);
        if (d.conflict()) {
            plan.conflicts.push_back({{thing.day, thing.number}, base, thing.mine, other, versionOf(other)});
            continue;
        }
        // Ours goes in where it differs from their file, and where their file never had it at all.
        if (*d.value != other || (!onTheirSide && !d.value->isEmpty())) {
            writes.set(thing.day, thing.number, *d.value);
            ++plan.fromUs;
        }
    }
    plan.days = writes.days();
    return plan;
}

Plan fromCopy(const DayTable &ours, const DayTable &copy)
{
    Plan plan;
    DaysToWrite writes(ours);
    for (qint32 i = 1; i <= copy.DayCount(); ++i) {
        const qint32 number = copy.thingNo(i);
        const auto day = oledate::toDate(copy.thingDate(i));
        if (!day || number < 1 || number > 5 || !copy.isCurrent(i))
            continue;
        const ThingInput theirs = thingOf(copy, i);
        const ThingInput mine = thingIn(ours, *day, number).value_or(ThingInput{});
        const thingdecision::Decision d = thingdecision::decide(std::nullopt, mine, theirs);
        if (d.conflict()) {
            plan.conflicts.push_back({{*day, number}, std::nullopt, mine, theirs, versionOf(theirs)});
        } else if (*d.value != mine) {
            writes.set(*day, number, *d.value);
            ++plan.fromThem;
        }
    }
    plan.days = writes.days();
    return plan;
}

Plan fromOwnCopy(const DayTable &ours, const DayTable &copy)
{
    Plan plan = fromCopy(ours, copy);
    for (thingdecision::Conflict &c : plan.conflicts) {
        const ThingInput dayFiles = c.mine;
        c.mine = *c.theirs;
        c.theirs = dayFiles;
        c.theirVersion = versionOf(dayFiles);
    }
    return plan;
}

Plan heldAgain(const std::vector<thingdecision::Conflict> &held, const DayTable &theirs,
               const std::vector<DayFile::OwedThing> &owed)
{
    std::vector<DayFile::OwedThing> all;
    for (const DayFile::OwedThing &thing : owed) {
        const ThingKey key{thing.day, thing.number};
        if (std::none_of(held.begin(), held.end(), [&](const thingdecision::Conflict &c) { return c.key == key; }))
            all.push_back(thing);
    }
    std::vector<thingdecision::Conflict> unkeepable;
    for (const thingdecision::Conflict &c : held) {
        if (thingmerge::storedThing(c.mine) == c.mine) {
            all.push_back({c.key.day, c.key.number, c.base, c.mine});
            continue;
        }
        // This side's version is one the day file cannot keep as it is (a character without a GBK
        // form): it stays held, with the other side's newest, until the user changes or chooses.
        const ThingInput now = thingIn(theirs, c.key.day, c.key.number).value_or(c.base.value_or(ThingInput{}));
        unkeepable.push_back({c.key, c.base, c.mine, now, versionOf(now)});
    }
    Plan plan = intoReplacement(all, theirs);
    plan.conflicts.insert(plan.conflicts.end(), unkeepable.begin(), unkeepable.end());
    return plan;
}

QByteArray versionOf(const std::optional<ThingInput> &thing)
{
    if (!thing)
        return QByteArrayLiteral("gone");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(thing->text.toUtf8());
    hash.addData(QByteArrayView(thing->done ? "1" : "0")); // the last byte: the text cannot run into it
    return hash.result().toHex().left(16);
}

bool isOwnConflictCopyName(const QString &fileName, const QString &dayFileName)
{
    const QFileInfo day(dayFileName);
    return QRegularExpression(QStringLiteral("^%1 \\(Tallyleaf conflicted copy \\d{4}-\\d{2}-\\d{2} \\d{6}\\)\\.%2$")
                                  .arg(QRegularExpression::escape(day.completeBaseName()),
                                       QRegularExpression::escape(day.suffix())))
        .match(fileName)
        .hasMatch();
}

bool isConflictCopyName(const QString &fileName, const QString &dayFileName)
{
    const QFileInfo day(dayFileName);
    const QString base = QRegularExpression::escape(day.completeBaseName());
    const QString suffix = QRegularExpression::escape(day.suffix());
    // Syncthing: things.sync-conflict-20261208-153000-ABCDEFG.dat; Nextcloud: things (conflicted
    // copy 2026-12-08 153000).dat; Dropbox: things (Laptop's conflicted copy 2026-12-08).dat, and
    // "(1)" and so on for a second one of a day.
    static const auto pattern = [](const QString &b, const QString &s) {
        return QRegularExpression(QStringLiteral("^%1(\\.sync-conflict-\\d{8}-\\d{6}-[A-Za-z0-9]{7}"
                                                 "| \\(.*conflicted copy \\d{4}-\\d{2}-\\d{2}( \\d{6})?( \\(\\d+\\))?\\))\\.%2$")
                                      .arg(b, s));
    };
    return pattern(base, suffix).match(fileName).hasMatch();
}

} // namespace copymerge
