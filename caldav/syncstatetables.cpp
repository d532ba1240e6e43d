#include "syncstatetables.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace syncstatetables {

namespace {

bool bindLinked(QSqlQuery &q, const LinkedTodo &t)
{
    q.addBindValue(t.href);
    q.addBindValue(t.uid);
    q.addBindValue(t.etag);
    q.addBindValue(t.key.day.toJulianDay());
    q.addBindValue(t.key.number);
    q.addBindValue(t.base ? QVariant(t.base->text) : QVariant(QMetaType(QMetaType::QString)));
    q.addBindValue(t.base && t.base->done);
    q.addBindValue(t.body);
    q.addBindValue(t.refetch);
    q.addBindValue(t.learntAfterToken);
    return q.exec();
}

// Addresses in one column, a space between them (a URL holds no space).
QString words(const std::vector<QUrl> &urls)
{
    QStringList all;
    for (const QUrl &url : urls)
        all << url.toString(QUrl::FullyEncoded);
    return all.join(u' ');
}

std::vector<QUrl> urls(const QString &words)
{
    std::vector<QUrl> all;
    for (const QString &word : words.split(u' ', Qt::SkipEmptyParts))
        all.emplace_back(word, QUrl::StrictMode);
    return all;
}

} // namespace

std::variant<SyncState, QString> read(QSqlDatabase &db, bool links, const QString &path)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    SyncState state;
    if (!q.exec(QStringLiteral("SELECT format, day_file, day_device, day_inode, day_length, day_changed, url, user,"
                               " collection, sync_collection, sync_token, trusted_origins, refused_origins,"
                               " since_days, first_day FROM account WHERE id = 1")))
        return QStringLiteral("cannot read %1: %2").arg(path, q.lastError().text());
    if (!q.next())
        return state;
    if (q.value(0).toInt() != Format)
        return QStringLiteral("%1 was written by another version of Tallyleaf").arg(path);
    state.dayFile = {q.value(1).toString(), q.value(2).toULongLong(), q.value(3).toULongLong(), q.value(4).toLongLong(),
                     q.value(5).toLongLong()};
    state.url = QUrl(q.value(6).toString());
    state.user = q.value(7).toString();
    state.collection = QUrl(q.value(8).toString());
    state.syncCollection = q.value(9).toBool();
    state.syncToken = q.value(10).toString();
    state.trustedOrigins = urls(q.value(11).toString());
    state.refusedOrigins = urls(q.value(12).toString());
    state.sinceDays = q.value(13).isNull() ? SyncState::DefaultSinceDays : q.value(13).toInt();
    if (!q.value(14).isNull())
        state.firstDay = QDate::fromJulianDay(q.value(14).toLongLong());
    if (!links)
        return state;

    if (!q.exec(QStringLiteral("SELECT href, uid, etag, day, number, base_text, base_done, body, refetch,"
                               " learnt_after_token FROM linked")))
        return QStringLiteral("cannot read %1: %2").arg(path, q.lastError().text());
    while (q.next()) {
        LinkedTodo t;
        t.href = q.value(0).toString();
        t.uid = q.value(1).toString();
        t.etag = q.value(2).toByteArray();
        t.key = {QDate::fromJulianDay(q.value(3).toLongLong()), q.value(4).toInt()};
        if (!q.value(5).isNull())
            t.base = ThingInput{q.value(5).toString(), q.value(6).toBool()};
        t.body = q.value(7).toByteArray();
        t.refetch = q.value(8).toBool();
        t.learntAfterToken = q.value(9).toBool();
        if (!t.key.day.isValid() || t.key.number < 1 || t.key.number > 5)
            return QStringLiteral("%1 is damaged: a to-do's thing is no thing").arg(path);
        state.linked.emplace(t.href, std::move(t));
    }
    if (!q.exec(QStringLiteral("SELECT href, etag, why, outside_range FROM set_aside")))
        return QStringLiteral("cannot read %1: %2").arg(path, q.lastError().text());
    while (q.next()) {
        SetAsideTodo t{q.value(0).toString(), q.value(1).toByteArray(), q.value(2).toString(), q.value(3).toBool()};
        state.setAside.emplace(t.href, std::move(t));
    }
    return state;
}

std::optional<QSqlError> write(QSqlDatabase &db, const SyncState &state, const SyncStateChange &change)
{
    QSqlQuery q(db);
    auto failed = [](const QSqlError &error) { return std::optional<QSqlError>(error); };
    if (change.account) {
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO account (id, format, day_file, day_device, day_inode, day_length,"
                                 " day_changed, url, user, collection, sync_collection, sync_token, trusted_origins,"
                                 " refused_origins, since_days, first_day)"
                                 " VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const QVariant &v : {QVariant(Format), QVariant(state.dayFile.path), QVariant(state.dayFile.device),
                                  QVariant(state.dayFile.inode), QVariant(state.dayFile.length),
                                  QVariant(state.dayFile.changedNs), QVariant(state.url.toString()),
                                  QVariant(state.user), QVariant(state.collection.toString()),
                                  QVariant(state.syncCollection), QVariant(state.syncToken),
                                  QVariant(words(state.trustedOrigins)), QVariant(words(state.refusedOrigins)),
                                  QVariant(state.sinceDays),
                                  state.firstDay.isValid() ? QVariant(state.firstDay.toJulianDay()) : QVariant()})
            q.addBindValue(v);
        if (!q.exec())
            return failed(q.lastError());
    }
    if (change.everything) {
        if (!q.exec(QStringLiteral("DELETE FROM linked")) || !q.exec(QStringLiteral("DELETE FROM set_aside")))
            return failed(q.lastError());
    }
    const QString putLinked = QStringLiteral("INSERT OR REPLACE INTO linked (href, uid, etag, day, number, base_text,"
                                             " base_done, body, refetch, learnt_after_token)"
                                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    auto writeLinked = [&](const QString &href) {
        const auto found = state.linked.find(href);
        if (found == state.linked.end()) {
            q.prepare(QStringLiteral("DELETE FROM linked WHERE href = ?"));
            q.addBindValue(href);
            return q.exec();
        }
        q.prepare(putLinked);
        return bindLinked(q, found->second);
    };
    auto writeSetAside = [&](const QString &href) {
        const auto found = state.setAside.find(href);
        if (found == state.setAside.end()) {
            q.prepare(QStringLiteral("DELETE FROM set_aside WHERE href = ?"));
            q.addBindValue(href);
            return q.exec();
        }
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO set_aside (href, etag, why, outside_range) VALUES (?, ?, ?, ?)"));
        q.addBindValue(href);
        q.addBindValue(found->second.etag);
        q.addBindValue(found->second.why);
        q.addBindValue(found->second.outsideRange);
        return q.exec();
    };
    if (change.everything) {
        for (const auto &[href, todo] : state.linked) {
            if (!writeLinked(href))
                return failed(q.lastError());
        }
        for (const auto &[href, todo] : state.setAside) {
            if (!writeSetAside(href))
                return failed(q.lastError());
        }
    } else {
        for (const QString &href : change.linked) {
            if (!writeLinked(href))
                return failed(q.lastError());
        }
        for (const QString &href : change.setAside) {
            if (!writeSetAside(href))
                return failed(q.lastError());
        }
    }
    return std::nullopt;
}

} // namespace syncstatetables
