#include "syncstatestore.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The rename is durable only once the folder holding the new name is.
bool syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

SyncStateFile::SyncStateFile(const QString &path) : m_path(path)
{
}

QString SyncStateFile::pathFor(const QString &dayFilePath)
{
    return dayFilePath + QStringLiteral(".caldav");
}

std::variant<SyncState, QString> SyncStateFile::load()
{
    QFile file(m_path);
    if (!file.exists())
        return SyncState{};
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString());
    auto state = syncstate::fromBytes(bytes);
    if (const QString *why = std::get_if<QString>(&state))
        return QStringLiteral("%1 is damaged (%2); remove it to sync afresh").arg(m_path, *why);
    return state;
}

SyncStateFile::Saved SyncStateFile::save(const SyncState &state)
{
    const QByteArray bytes = syncstate::toBytes(state);
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(bytes) != bytes.size() || !file.commit()) // commit syncs the new file, then renames it
        return {false, QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString())};
    if (!syncFolder(QFileInfo(m_path).absolutePath()))
        return {false, QStringLiteral("cannot sync the folder of %1: %2").arg(m_path, qt_error_string(errno))};
    return {};
}
