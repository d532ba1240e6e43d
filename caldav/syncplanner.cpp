#include "syncplanner.h"

#include "gbk.h"

#include <set>

namespace syncplanner {

namespace {

using thingdecision::Decision;
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
        for (const auto &[href, link] : in.state.linked)
            m_claimed.insert(link.key);
        for (const auto &[href, link] : in.state.linked)
            m_usedHrefs.insert(href);
        for (const auto &[href, todo] : in.state.setAside)
            m_usedHrefs.insert(href);
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
        for (const auto &[key, thing] : m_in.here) {
            if (!m_claimed.count(key) && !standsIn(key, thing))
                create(key, thing);
        }
        return std::move(m_plan);
    }

private:
    ThingInput here(const ThingKey &key) const
    {
        const auto found = m_in.here.find(key);
        return found == m_in.here.end() ? ThingInput{} : found->second;
    }

    thingdecision::Settle settleFor(const ThingKey &key) const
    {
        const auto found = m_in.settleByThing.find(key);
        return found == m_in.settleByThing.end() ? m_in.settle : found->second;
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

    void setAside(const QString &href, const QByteArray &etag, const QString &uid, const QString &summary,
                  const QString &why, std::optional<ThingKey> key = std::nullopt)
    {
        const auto known = m_in.state.setAside.find(href);
        if (!why.isEmpty() && (known == m_in.state.setAside.end() || known->second.why != why))
            m_plan.left.push_back({href, uid, summary, why, key});
        m_plan.setAside[href] = SetAsideTodo{href, etag, why};
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
            setAside(href, change->etag, refusal->uid, refusal->summary, quiet ? QString() : refusal->why);
            return;
        }
        const Todo &todo = std::get<Todo>(change->reading);
        if (!todo.day) {
            setAside(href, change->etag, todo.uid, todo.thing.text, QStringLiteral("it has no due or start date"));
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
                    const ThingInput shown = here(k);
                    if (!m_claimed.count(k) && (pass == 0 ? shown == n.todo->thing : shown.isEmpty()))
                        key = k;
                }
            }
            if (!key) {
                setAside(n.href, n.version->etag, n.todo->uid, n.todo->thing.text,
                         QStringLiteral("its day, %1, has no free thing").arg(day.toString(Qt::ISODate)));
                continue;
            }
            m_claimed.insert(*key);
            m_usedHrefs.insert(n.href);
            const LinkedTodo link{n.href, n.todo->uid, n.version->etag, *key, std::nullopt, {}, false};
            decide(link, n.version, n.todo->thing, true);
        }
    }

    void decideLinked(const LinkedTodo &link)
    {
        const auto change = m_in.changes.find(link.href);
        if (change == m_in.changes.end()) {
            // Unchanged on the server, which therefore holds the base.
            if (!link.mustFetch() && here(link.key) != *link.base)
                decide(link, nullptr, *link.base, true);
            return;
        }
        if (!change->second) {
            decide(link, nullptr, std::nullopt, false);
            return;
        }
        const ServerVersion &version = *change->second;
        if (const auto *refusal = std::get_if<Refusal>(&version.reading)) {
            refused(link, version, *refusal);
            return;
        }
        decide(link, &version, std::get<Todo>(version.reading).thing, true);
    }

    // A linked to-do whose new version the day file cannot show: it stays as it is on both sides
    // until the user settles it here.
    void refused(const LinkedTodo &link, const ServerVersion &version, const Refusal &refusal)
    {
        const ThingInput thing = here(link.key);
        // Without the version's tag the change could overwrite another client's unseen edit.
        if (settleFor(link.key) == thingdecision::Settle::KeepHere && !standsIn(link.key, thing) && !version.etag.isEmpty()) {
            if (std::optional<QByteArray> body = todomapping::updated(version.body, thing, link.key.number, m_in.now)) {
                LinkedTodo after = link;
                after.base = thing;
                after.refetch = false;
                update(after, version.etag, *body);
                return;
            }
        }
        m_plan.left.push_back({link.href, refusal.uid, refusal.summary, refusal.why, link.key});
        LinkedTodo kept = link;
        kept.refetch = true;
        m_plan.links[link.href] = kept;
    }

    // version: the server's new version; nullptr when unchanged (server holds serverThing, the
    // base) or gone (serverThing is nothing).
    void decide(const LinkedTodo &link, const ServerVersion *version, const std::optional<ThingInput> &serverThing,
                bool onServer)
    {
        const ThingInput thing = here(link.key);
        if (standsIn(link.key, thing)) {
            if (version) { // read again once the thing can go: the sync token moves past it now
                LinkedTodo kept = link;
                kept.refetch = true;
                m_plan.links[link.href] = kept;
            }
            return;
        }
        const Decision d = thingdecision::decide(link.base, thing, onServer ? serverThing : std::nullopt, true,
                                                 settleFor(link.key));
        if (d.conflict) {
            m_plan.conflicts.push_back({link.key, thing, onServer ? serverThing : std::nullopt, d.tooLongToJoin});
            LinkedTodo kept = link;
            kept.refetch = true; // the server's version is not the base: read it again next time
            m_plan.links[link.href] = kept;
            return;
        }
        const QByteArray etag = version ? version->etag : link.etag;
        const bool changesServer = d.server == Decision::Server::Put || d.server == Decision::Server::Delete;
        if (changesServer && etag.isEmpty()) {
            // Without the version's tag a change could overwrite another client's unseen edit.
            m_plan.notes << QStringLiteral("the server gives no ETag for %1; %2 is synced when it does")
                                .arg(link.href, link.key.toString());
            LinkedTodo kept = link;
            kept.refetch = true;
            m_plan.links[link.href] = kept;
            return;
        }
        if (d.setHere)
            m_plan.setHere[link.key] = *d.setHere;
        switch (d.server) {
        case Decision::Server::Keep:
            if (d.unlink) {
                m_plan.links[link.href] = std::nullopt;
            } else if (d.agreed) {
                LinkedTodo agreed = link;
                agreed.etag = etag;
                agreed.base = d.agreed;
                agreed.refetch = false;
                if (version)
                    agreed.body = keptBody(version->body, link.key);
                m_plan.links[link.href] = agreed;
            }
            return;
        case Decision::Server::Delete:
            m_plan.ops.push_back({ServerOp::Kind::Delete, link.key, link.href, etag, {}, std::nullopt});
            return;
        case Decision::Server::Put: {
            QByteArray source = version ? version->body : link.body;
            if (source.isEmpty())
                source = todomapping::created(link.uid, link.key, link.base.value_or(ThingInput{}), m_in.now);
            const QByteArray body = todomapping::updated(source, d.serverValue, link.key.number, m_in.now)
                                        .value_or(todomapping::created(link.uid, link.key, d.serverValue, m_in.now));
            LinkedTodo after = link;
            after.base = d.serverValue;
            after.refetch = false;
            update(after, etag, body);
            return;
        }
        case Decision::Server::Create:
            createAt(link.href, link.uid, link.key, d.serverValue);
            return;
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
        const LinkedTodo after{href, uid, {}, key, thing, thing.done ? body : QByteArray(), false};
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

Plan plan(const Inputs &inputs)
{
    return Planner(inputs).run();
}

QString hrefFor(const QUrl &collection, const QString &uid)
{
    QString path = collection.path();
    if (!path.endsWith(u'/'))
        path += u'/';
    return path + uid.section(u'@', 0, 0) + QStringLiteral(".ics");
}

} // namespace syncplanner
