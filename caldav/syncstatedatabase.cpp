#include "syncstatedatabase.h"

#include "legacystatefile.h"
#include "syncstatelocation.h"
#include "syncstatetables.h"

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
    return syncstatelocation::defaultFolder();
}

QString SyncStateDatabase::pathFor(const QString &folder, const QString &dayFilePath)
{
    return syncstatelocation::databaseFor(folder, dayFilePath);
}

bool SyncStateDatabase::isTurnedOff() const
{
    return QFileInfo::exists(syncstatelocation::offMarkFor(m_path));
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
        // A step lost to a power cut takes the state back to the step before, which the sync is
        // built to go on from (what the server and the day file already hold is found again);
        // a transaction is never half there. The day file, synced first, is never behind it.
        for (const char *statement : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL"})
            q.exec(QString::fromLatin1(statement));
        for (const char *statement : syncstatetables::Schema) {
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
    return syncstatetables::read(db, links, m_path);
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
    // Not once the user turned the sync off: the earlier version's account would come back.
    if (known.url.isEmpty() && known.linked.empty() && QFileInfo::exists(legacy) && !isTurnedOff()) {
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
    if (known && known->url.isEmpty() && QFileInfo::exists(legacystatefile::pathFor(m_dayFilePath)) && !isTurnedOff())
        return load();
    return account;
}

SyncStateDatabase::Saved SyncStateDatabase::save(const SyncState &state, const SyncStateChange &change)
{
    if (change.isEmpty())
        return {};
    if (const QString why = open(); !why.isEmpty())
        return {false, why};
    // An account set up is no longer marked off before it is saved: a mark left over would have
    // the window take it for off.
    const bool turnedOff = change.account && state.url.isEmpty();
    if (change.account && !turnedOff && !syncstatelocation::markOff(m_path, false))
        return {false, QStringLiteral("cannot remove %1").arg(syncstatelocation::offMarkFor(m_path))};
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return {false, failure(QStringLiteral("write"), m_path, db.lastError())};
    if (const std::optional<QSqlError> error = syncstatetables::write(db, state, change)) {
        db.rollback();
        m_cache.reset(); // read again: what reached the disk is what the database says
        return {false, failure(QStringLiteral("write"), m_path, *error)};
    }
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        db.rollback();
        m_cache.reset();
        return {false, failure(QStringLiteral("write"), m_path, error)};
    }
    // Without the mark the window only loads the sync to find it off: nothing to fail the save for.
    if (turnedOff)
        (void)syncstatelocation::markOff(m_path, true);
    // What reached the disk: what was saved before, and the change (the maps are shared).
    m_cache = state;
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
        QFile::remove(syncstatelocation::offMarkFor(to));
        if (!QFile::rename(m_path, to))
            return {false, QStringLiteral("cannot move %1 to %2").arg(m_path, to)};
        QFile::rename(m_path + QStringLiteral("-wal"), to + QStringLiteral("-wal"));
        QFile::remove(m_path + QStringLiteral("-shm"));
        QFile::rename(syncstatelocation::offMarkFor(m_path), syncstatelocation::offMarkFor(to));
        syncFolder(m_folder);
    }
    m_dayFilePath = newDayFilePath;
    m_path = to;
    return {};
}
