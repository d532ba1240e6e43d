#include "syncstatedatabase.h"

#include "legacystatefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Format = 2;

const char *const Schema[] = {
    "CREATE TABLE IF NOT EXISTS account (id INTEGER PRIMARY KEY CHECK (id = 1), format INTEGER NOT NULL,"
    " day_file TEXT, day_device INTEGER, day_inode INTEGER, day_length INTEGER, day_changed INTEGER,"
    " url TEXT, user TEXT, collection TEXT, sync_collection INTEGER, sync_token TEXT, trusted_origins TEXT,"
    " refused_origins TEXT, since_days INTEGER, first_day INTEGER)",
    "CREATE TABLE IF NOT EXISTS linked (href TEXT PRIMARY KEY, uid TEXT NOT NULL, etag BLOB, day INTEGER NOT NULL,"
    " number INTEGER NOT NULL, base_text TEXT, base_done INTEGER, body BLOB, refetch INTEGER NOT NULL,"
    " learnt_after_token INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS set_aside (href TEXT PRIMARY KEY, etag BLOB, why TEXT, outside_range INTEGER)",
};

QString connectionName()
{
    static std::atomic<int> next{0};
    return QStringLiteral("tallyleaf-sync-state-%1").arg(next++);
}

QString failure(const QString &what, const QString &path, const QSqlError &error)
{
    return QStringLiteral("cannot %1 %2: %3").arg(what, path, error.text());
}

// A new file's name is durable only once its folder is.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

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

SyncStateDatabase::SyncStateDatabase(const QString &folder, const QString &dayFilePath)
    : m_folder(folder), m_dayFilePath(dayFilePath), m_path(pathFor(folder, dayFilePath))
{
}

SyncStateDatabase::~SyncStateDatabase()
{
    m_preload.waitForFinished();
    close();
}

QString SyncStateDatabase::defaultFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Tallyleaf");
}

QString SyncStateDatabase::pathFor(const QString &folder, const QString &dayFilePath)
{
    const QFileInfo file(dayFilePath);
    const QString canonical = file.canonicalFilePath();
    const QString name = canonical.isEmpty() ? file.absoluteFilePath() : canonical;
    const QByteArray hash = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder + QStringLiteral("/sync-%1.sqlite").arg(QString::fromLatin1(hash));
}

QString SyncStateDatabase::open()
{
    if (!m_connection.isEmpty())
        return {};
    if (!QDir().mkpath(m_folder))
        return QStringLiteral("cannot make the folder %1").arg(m_folder);
    QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const bool fresh = !QFileInfo::exists(m_path);
    const QString name = connectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_path);
        if (!db.open()) {
            const QString why = failure(QStringLiteral("open"), m_path, db.lastError());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return why;
        }
        QSqlQuery q(db);
        for (const char *statement : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL"})
            q.exec(QString::fromLatin1(statement));
        for (const char *statement : Schema) {
            if (!q.exec(QString::fromLatin1(statement))) {
                const QString why = failure(QStringLiteral("set up"), m_path, q.lastError());
                q = QSqlQuery();
                db.close();
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(name);
                return why;
            }
        }
    }
    QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (fresh)
        syncFolder(m_folder);
    m_connection = name;
    return {};
}

void SyncStateDatabase::close()
{
    if (m_connection.isEmpty())
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

// Reads the state through the open connection (with links, the whole of it); an empty state when
// none was ever saved.
std::variant<SyncState, QString> SyncStateDatabase::read(const QString &connection, bool links) const
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    SyncState state;
    if (!q.exec(QStringLiteral("SELECT format, day_file, day_device, day_inode, day_length, day_changed, url, user,"
                               " collection, sync_collection, sync_token, trusted_origins, refused_origins,"
                               " since_days, first_day FROM account WHERE id = 1")))
        return failure(QStringLiteral("read"), m_path, q.lastError());
    if (!q.next())
        return state;
    if (q.value(0).toInt() != Format)
        return QStringLiteral("%1 was written by another version of Tallyleaf").arg(m_path);
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
        return failure(QStringLiteral("read"), m_path, q.lastError());
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
            return QStringLiteral("%1 is damaged: a to-do's thing is no thing").arg(m_path);
        state.linked.emplace_hint(state.linked.end(), t.href, std::move(t));
    }
    if (!q.exec(QStringLiteral("SELECT href, etag, why, outside_range FROM set_aside")))
        return failure(QStringLiteral("read"), m_path, q.lastError());
    while (q.next()) {
        SetAsideTodo t{q.value(0).toString(), q.value(1).toByteArray(), q.value(2).toString(), q.value(3).toBool()};
        state.setAside.emplace_hint(state.setAside.end(), t.href, std::move(t));
    }
    return state;
}

void SyncStateDatabase::preload()
{
    if (m_cache || m_preload.isValid() || !QFileInfo::exists(m_path))
        return;
    m_preload = QtConcurrent::run([path = m_path, this]() -> std::variant<SyncState, QString> {
        const QString name = connectionName();
        std::variant<SyncState, QString> state = QStringLiteral("cannot open %1").arg(path);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            if (db.open())
                state = read(name, true);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return state;
    });
}

bool SyncStateDatabase::isReady() const
{
    return m_cache || !m_preload.isValid() || m_preload.isFinished();
}

std::variant<SyncState, QString> SyncStateDatabase::load()
{
    if (m_cache)
        return *m_cache;
    std::optional<std::variant<SyncState, QString>> preloaded;
    if (m_preload.isValid()) {
        preloaded = m_preload.result(); // waits, if the thread has not finished yet
        m_preload = {};
    }
    if (const QString why = open(); !why.isEmpty())
        return why;
    std::variant<SyncState, QString> state =
        preloaded && std::holds_alternative<SyncState>(*preloaded) ? std::move(*preloaded) : read(m_connection, true);
    if (const QString *why = std::get_if<QString>(&state))
        return *why;
    SyncState &known = std::get<SyncState>(state);
    const QString legacy = legacystatefile::pathFor(m_dayFilePath);
    if (known.url.isEmpty() && known.linked.empty() && QFileInfo::exists(legacy)) {
        // Taken over once: from now on the account row says this computer has its own state.
        auto taken = legacystatefile::read(legacy);
        if (SyncState *old = std::get_if<SyncState>(&taken)) {
            SyncStateChange all;
            all.account = all.everything = true;
            if (const Saved saved = save(*old, all); !saved.ok)
                return saved.detail;
            return *m_cache;
        }
    }
    m_cache = std::move(known);
    return *m_cache;
}

std::variant<SyncState, QString> SyncStateDatabase::loadAccount()
{
    if (m_cache)
        return *m_cache;
    if (!QFileInfo::exists(m_path))
        return QFileInfo::exists(legacystatefile::pathFor(m_dayFilePath)) ? load() : SyncState{};
    if (const QString why = open(); !why.isEmpty())
        return why;
    auto account = read(m_connection, false);
    const SyncState *known = std::get_if<SyncState>(&account);
    if (known && known->url.isEmpty() && QFileInfo::exists(legacystatefile::pathFor(m_dayFilePath)))
        return load();
    return account;
}

SyncStateDatabase::Saved SyncStateDatabase::save(const SyncState &state, const SyncStateChange &change)
{
    if (change.isEmpty())
        return {};
    if (const QString why = open(); !why.isEmpty())
        return {false, why};
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return {false, failure(QStringLiteral("write"), m_path, db.lastError())};
    QSqlQuery q(db);
    auto failed = [&](const QSqlError &error) {
        db.rollback();
        m_cache.reset(); // read again: what reached the disk is what the database says
        return Saved{false, failure(QStringLiteral("write"), m_path, error)};
    };
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
    if (!db.commit())
        return failed(db.lastError());

    // The cache follows what reached the disk; without one, the next load reads it.
    if (change.everything) {
        m_cache = state;
        return {};
    }
    if (!m_cache)
        return {};
    if (change.account) {
        const auto linked = std::move(m_cache->linked);
        const auto setAside = std::move(m_cache->setAside);
        SyncState account = state;
        account.linked = std::move(linked);
        account.setAside = std::move(setAside);
        *m_cache = std::move(account);
    }
    for (const QString &href : change.linked) {
        if (const auto found = state.linked.find(href); found != state.linked.end())
            m_cache->linked[href] = found->second;
        else
            m_cache->linked.erase(href);
    }
    for (const QString &href : change.setAside) {
        if (const auto found = state.setAside.find(href); found != state.setAside.end())
            m_cache->setAside[href] = found->second;
        else
            m_cache->setAside.erase(href);
    }
    return {};
}

SyncStateDatabase::Saved SyncStateDatabase::moveTo(const QString &newDayFilePath)
{
    close();
    m_preload.waitForFinished();
    const QString to = pathFor(m_folder, newDayFilePath);
    if (to != m_path && QFileInfo::exists(m_path)) {
        // The write-ahead log goes with it: it may hold the last transactions.
        QFile::remove(to);
        QFile::remove(to + QStringLiteral("-wal"));
        QFile::remove(to + QStringLiteral("-shm"));
        if (!QFile::rename(m_path, to))
            return {false, QStringLiteral("cannot move %1 to %2").arg(m_path, to)};
        QFile::rename(m_path + QStringLiteral("-wal"), to + QStringLiteral("-wal"));
        QFile::remove(m_path + QStringLiteral("-shm"));
        syncFolder(m_folder);
    }
    m_dayFilePath = newDayFilePath;
    m_path = to;
    return {};
}
