#include "syncplanner.h"

#include "gbk.h"

#include <set>

namespace syncplanner {

namespace {

using todomapping::Refusal;
using todomapping::Todo;

struct NewTodo
{
    QString href;
    const ServerVersion *version;
    const Todo *todo;
};

class Planner
{
public:
    explicit Planner(const Inputs &in) : m_in(in)
    {
        for (const auto &[href, link] : in.state.linked) {
            m_claimed.insert(link.key);
            m_usedHrefs.insert(href);
        }
        for (const auto &[href, todo] : in.state.setAside)
            m_usedHrefs.insert(href);
        m_claimed.insert(in.held.begin(), in.held.end()); // no new to-do takes a held thing
    }

    Plan run()
    {
        std::vector<NewTodo> fresh;
        for (const auto &[href, change] : m_in.changes) {
            if (!m_in.state.linked.count(href))
                takeNew(href, change, fresh);
        }
        place(fresh);
        for (const auto &[href, link] : m_in.state.linked)
            decideLinked(link);
        for (auto it = m_in.here.lower_bound({m_in.firstDay, 0}); it != m_in.here.end(); ++it) {
            const auto &[key, thing] = *it;
            if (m_in.held.count(key))
                m_plan.notes << QStringLiteral("%1 waits for a choice between two versions here; it is synced once chosen")
                                    .arg(key.toString());
            else if (!m_claimed.count(key) && !thing.isEmpty() && !standsIn(key, thing))
                create(key, thing);
        }
        return std::move(m_plan);
    }

private:
    // Nothing when the day book has no record of the thing.
    std::optional<ThingInput> here(const ThingKey &key) const
    {
        const auto found = m_in.here.find(key);
        return found == m_in.here.end() ? std::nullopt : std::optional(found->second);
    }

    // A choice is carried out only for the versions the user saw.
    std::optional<thingdecision::Choice> settleFor(const thingdecision::Conflict &now) const
    {
        if (m_in.settleAll)
            return m_in.settleAll;
        const auto found = m_in.settled.find(now.key);
        if (found == m_in.settled.end())
            return std::nullopt;
        const thingdecision::Conflict &seen = found->second.seen;
        if (seen.mine != now.mine || seen.theirs != now.theirs || seen.theirVersion != now.theirVersion)
            return std::nullopt;
        return found->second.choice;
    }

    // Bytes that are no GBK character cannot go to a server as they are: the thing stays here.
    bool standsIn(const ThingKey &key, const ThingInput &thing)
    {
        if (!gbk::holdsStandIn(thing.text))
            return false;
        m_plan.notes << QStringLiteral("%1 holds bytes that are no GBK character; it is not synced until they are "
                                       "removed")
                            .arg(key.toString());
        return true;
    }

    // The link as it stands after this round; written only where it changed.
    void keep(LinkedTodo link, bool refetch)
    {
        link.refetch = refetch;
        const auto known = m_in.state.linked.find(link.href);
        if (known == m_in.state.linked.end() || !(known->second == link))
            m_plan.links[link.href] = link;
    }

    bool outsideRange(const QDate &day) const { return m_in.firstDay.isValid() && day < m_in.firstDay; }

    // Told once for each version of the to-do.
    void setAside(const QString &href, const QByteArray &etag, const QString &uid, const QString &summary,
                  const QString &why, const LeftReason &reason = {}, bool outside = false)
    {
        const SetAsideTodo todo{href, etag, why, outside};
        const auto known = m_in.state.setAside.find(href);
        const bool told = known != m_in.state.setAside.end() && known->second == todo;
        if (!why.isEmpty() && !told)
            m_plan.left.push_back({href, uid, summary, why, std::nullopt, reason});
        if (!told)
            m_plan.setAside[href] = todo;
    }

    void takeNew(const QString &href, const std::optional<ServerVersion> &change, std::vector<NewTodo> &fresh)
    {
        if (!change) {
            if (m_in.state.setAside.count(href))
                m_plan.setAside[href] = std::nullopt;
            return;
        }
        if (const auto *refusal = std::get_if<Refusal>(&change->reading)) {
            const bool quiet = refusal->kind == Refusal::Kind::NotATodo;
            setAside(href, change->etag, refusal->uid, refusal->summary, quiet ? QString() : refusal->why,
                     LeftReason::of(*refusal));
            return;
        }
        const Todo &todo = std::get<Todo>(change->reading);
        if (!todo.day) {
            setAside(href, change->etag, todo.uid, todo.thing.text, QStringLiteral("it has no due or start date"),
                     LeftReason{LeftReason::Kind::NoDate, {}, {}, 0});
            return;
        }
        if (outsideRange(*todo.day)) {
            setAside(href, change->etag, todo.uid, todo.thing.text, QString(), {}, true);
            return;
        }
        fresh.push_back({href, &*change, &todo});
    }

    // A to-do from another client takes the first free thing of its day (one that already shows
    // it, after a run cut short, before an empty one); one of ours its own number when free.
    void place(std::vector<NewTodo> &fresh)
    {
        std::stable_sort(fresh.begin(), fresh.end(), [](const NewTodo &a, const NewTodo &b) {
            return a.todo->number.has_value() > b.todo->number.has_value();
        });
        for (const NewTodo &n : fresh) {
            const QDate day = *n.todo->day;
            std::optional<ThingKey> key;
            if (n.todo->number && !m_claimed.count({day, *n.todo->number}))
                key = ThingKey{day, *n.todo->number};
            for (int pass = 0; pass < 2 && !key; ++pass) {
                for (int number = 1; number <= 5 && !key; ++number) {
                    const ThingKey k{day, number};
                    const ThingInput shown = here(k).value_or(ThingInput{});
                    if (!m_claimed.count(k) && (pass == 0 ? shown == n.todo->thing : shown.isEmpty()))
                        key = k;
                }
            }
            if (!key) {
                setAside(n.href, n.version->etag, n.todo->uid, n.todo->thing.text,
                         QStringLiteral("its day, %1, has no free thing").arg(day.toString(Qt::ISODate)),
                         LeftReason{LeftReason::Kind::DayFull, day, {}, 0});
                continue;
            }
            m_claimed.insert(*key);
            m_usedHrefs.insert(n.href);
            if (m_in.state.setAside.count(n.href))
                m_plan.setAside[n.href] = std::nullopt;
            const LinkedTodo link{n.href, n.todo->uid, n.version->etag, *key, std::nullopt, {}, false, false};
            decide(link, n.version, n.todo->thing);
        }
    }

    void decideLinked(const LinkedTodo &link)
    {
        if (outsideRange(link.key.day))
            return;
        const auto change = m_in.changes.find(link.href);
        if (m_in.held.count(link.key)) { // left as it is; a change on the server is read again then
            if (change != m_in.changes.end())
                keep(link, true);
            return;
        }
        if (change == m_in.changes.end()) {
            // Unchanged on the server, which therefore holds the base: only a change here is news.
            if (!link.mustFetch() && here(link.key) != link.base)
                decide(link, nullptr, *link.base);
            return;
        }
        if (!change->second) {
            decide(link, nullptr, std::nullopt);
            return;
        }
        const ServerVersion &version = *change->second;
        if (const auto *refusal = std::get_if<Refusal>(&version.reading)) {
            if (refusal->thing) // a text the day file cannot hold: this side's and the server's, both kept
                decide(link, &version, *refusal->thing);
            else
                unshowable(link, version, *refusal);
            return;
        }
        decide(link, &version, std::get<Todo>(version.reading).thing);
    }

    // A linked to-do that another client made into what no thing shows (repeating, unreadable):
    // both sides stay as they are, the user is told once for each version of it, and it is read
    // again at every sync until it can be shown.
    void unshowable(const LinkedTodo &link, const ServerVersion &version, const Refusal &refusal)
    {
        ++m_plan.unshowable;
        if (version.etag.isEmpty() || version.etag != link.etag)
            m_plan.left.push_back({link.href, refusal.uid, refusal.summary, refusal.why, link.key, LeftReason::of(refusal)});
        LinkedTodo told = link;
        told.etag = version.etag;
        keep(told, true);
    }

    // version: the server's new version, nullptr when unchanged (theirs is the base) or gone
    // (theirs is nothing).
    void decide(const LinkedTodo &link, const ServerVersion *version, const std::optional<ThingInput> &theirs)
    {
        const std::optional<ThingInput> mine = here(link.key);
        if (mine && standsIn(link.key, *mine)) {
            if (version) // read again once the thing can go: the sync token moves past it now
                keep(link, true);
            return;
        }
        // An agreement the day book may not have seen (a file restored or put in place) says
        // nothing of which side changed a thing that differs from it.
        const std::optional<ThingInput> base = m_in.trusted || mine == link.base ? link.base : std::nullopt;
        const QByteArray etag = version ? version->etag : theirs ? link.etag : QByteArray();
        const thingdecision::Conflict asked{link.key, mine ? base : std::nullopt, mine.value_or(ThingInput{}), theirs, etag};
        const thingdecision::Decision d = thingdecision::decide(base, mine, theirs, settleFor(asked));
        if (d.conflict()) {
            m_plan.conflicts.push_back(asked);
            LinkedTodo kept = link;
            kept.base = base; // the server's version is not the base: read again next time
            keep(kept, true);
            return;
        }
        const ThingInput &value = *d.value;
        const bool deletes = theirs && value.isEmpty() && !theirs->isEmpty();
        const bool puts = theirs && !value.isEmpty() && value != *theirs;
        if ((deletes || puts) && etag.isEmpty()) {
            // Without the version's tag a change could overwrite another client's unseen edit.
            m_plan.notes << QStringLiteral("the server gives no ETag for %1; %2 is synced when it does")
                                .arg(link.href, link.key.toString());
            keep(link, true);
            return;
        }
        if (value != mine.value_or(ThingInput{}))
            m_plan.setHere[link.key] = value;
        if (deletes) {
            m_plan.ops.push_back({ServerOp::Kind::Delete, link.key, link.href, etag, {}, std::nullopt});
        } else if (puts) {
            QByteArray source = version ? version->body : link.body;
            if (source.isEmpty())
                source = todomapping::created(link.uid, link.key, link.base.value_or(ThingInput{}), m_in.now);
            const QByteArray body = todomapping::updated(source, value, link.key.number, m_in.now)
                                        .value_or(todomapping::created(link.uid, link.key, value, m_in.now));
            LinkedTodo after = link;
            after.base = value;
            after.refetch = false;
            update(after, etag, body);
        } else if (!theirs && !value.isEmpty()) {
            createAt(link.href, link.uid, link.key, value);
        } else if (!theirs) {
            m_plan.links[link.href] = std::nullopt; // gone there, empty here: nothing left to link
        } else {
            LinkedTodo agreed = link;
            agreed.etag = etag;
            agreed.base = value;
            agreed.refetch = false;
            if (version)
                agreed.body = keptBody(version->body, link.key);
            keep(agreed, false);
        }
    }

    void update(LinkedTodo after, const QByteArray &etag, const QByteArray &body)
    {
        after.etag.clear();
        after.body = keptBody(body, after.key);
        m_plan.ops.push_back({ServerOp::Kind::Update, after.key, after.href, etag, body, after});
    }

    void create(const ThingKey &key, const ThingInput &thing)
    {
        QString uid;
        QString href;
        for (int suffix = 1; href.isEmpty() || m_usedHrefs.count(href); ++suffix) {
            uid = todomapping::uidFor(key, suffix);
            href = hrefFor(m_in.state.collection, uid);
        }
        m_usedHrefs.insert(href);
        createAt(href, uid, key, thing);
    }

    void createAt(const QString &href, const QString &uid, const ThingKey &key, const ThingInput &thing)
    {
        const QByteArray body = todomapping::created(uid, key, thing, m_in.now);
        // Made here, it is plain unless its completion time has to be kept (read() says the same,
        // at a cost a first sync of thousands of things notices).
        const LinkedTodo after{href, uid, {}, key, thing, thing.done ? body : QByteArray(), false, false};
        m_plan.ops.push_back({ServerOp::Kind::Create, key, href, {}, body, after});
    }

    // The object is kept only when it holds more than Tallyleaf would write again for the thing.
    static QByteArray keptBody(const QByteArray &body, const ThingKey &key)
    {
        const todomapping::Reading reading = todomapping::read(body);
        const Todo *todo = std::get_if<Todo>(&reading);
        const bool plain = todo && todo->plain && todo->day == key.day && todo->number == key.number;
        return plain ? QByteArray() : body;
    }

    const Inputs &m_in;
    Plan m_plan;
    std::set<ThingKey> m_claimed;
    std::set<QString> m_usedHrefs;
};

} // namespace

LeftReason LeftReason::of(const todomapping::Refusal &refusal)
{
    using Refused = todomapping::Refusal::Kind;
    LeftReason reason;
    switch (refusal.kind) {
    case Refused::NotATodo:
    case Refused::Unreadable:
        reason.kind = Kind::Unreadable;
        break;
    case Refused::Repeating:
        reason.kind = Kind::Repeating;
        break;
    case Refused::NoGbkForm:
        reason.kind = Kind::NoGbkForm;
        break;
    case Refused::TooLong:
        reason.kind = Kind::TooLong;
        break;
    case Refused::LineBreak:
        reason.kind = Kind::LineBreak;
        break;
    }
    reason.characters = refusal.characters;
    reason.bytes = refusal.bytes;
    return reason;
}

int Plan::deletions() const
{
    int count = int(std::count_if(ops.begin(), ops.end(), [](const ServerOp &op) { return op.kind == ServerOp::Kind::Delete; }));
    for (const auto &[key, thing] : setHere)
        count += thing.isEmpty() ? 1 : 0;
    return count;
}

QString hrefFor(const QUrl &collection, const QString &uid)
{
    QString path = collection.path();
    if (!path.endsWith(u'/'))
        path += u'/';
    return path + uid.section(u'@', 0, 0) + QStringLiteral(".ics");
}

Plan plan(const Inputs &inputs)
{
    return Planner(inputs).run();
}

} // namespace syncplanner
