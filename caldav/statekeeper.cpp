#include "statekeeper.h"

namespace {

constexpr qint64 SaveEveryMs = 500;

} // namespace

QString StateKeeper::load()
{
    auto loaded = m_store.load();
    if (const QString *why = std::get_if<QString>(&loaded))
        return *why;
    m_state = std::get<SyncState>(std::move(loaded));
    m_unsaved = {};
    return {};
}

SyncState &StateKeeper::account()
{
    m_unsaved.account = true;
    return m_state;
}

void StateKeeper::setLink(const QString &href, const std::optional<LinkedTodo> &link)
{
    if (link)
        m_state.linked[href] = *link;
    else
        m_state.linked.erase(href);
    m_unsaved.linked.insert(href);
}

void StateKeeper::setAside(const QString &href, const std::optional<SetAsideTodo> &todo)
{
    if (todo)
        m_state.setAside[href] = *todo;
    else
        m_state.setAside.erase(href);
    m_unsaved.setAside.insert(href);
}

void StateKeeper::forgetCollection()
{
    m_state.forgetCollection();
    m_unsaved.account = m_unsaved.everything = true;
}

SyncStateStore::Saved StateKeeper::save(bool paced)
{
    if (m_unsaved.isEmpty())
        return {};
    if (paced && m_sinceSave.isValid() && m_sinceSave.elapsed() < m_saveInterval)
        return {};
    QElapsedTimer took;
    took.start();
    SyncStateStore::Saved saved = m_store.save(m_state, m_unsaved);
    m_saveInterval = std::max(SaveEveryMs, 10 * took.elapsed());
    m_sinceSave.start();
    if (saved.ok)
        m_unsaved = {};
    return saved;
}

QDate StateKeeper::reachBack(int sinceDays, QDate today)
{
    const QDate first = sinceDays < 0 ? QDate() : today.addDays(-sinceDays);
    const QDate last = m_state.firstDay;
    if (last.isValid() && (!first.isValid() || first < last)) {
        std::vector<QString> outside;
        for (const auto &[href, todo] : m_state.setAside) {
            if (todo.outsideRange)
                outside.push_back(href);
        }
        for (const QString &href : outside)
            setAside(href, std::nullopt);
        account().syncToken.clear();
    }
    if (sinceDays != m_state.sinceDays || first != last) {
        account().sinceDays = sinceDays;
        account().firstDay = first;
    }
    return first;
}
