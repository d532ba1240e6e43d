#include "syncstatelocation.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace syncstatelocation {

QString defaultFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Tallyleaf");
}

QString databaseFor(const QString &folder, const QString &dayFilePath)
{
    const QFileInfo file(dayFilePath);
    const QString canonical = file.canonicalFilePath();
    const QString name = canonical.isEmpty() ? file.absoluteFilePath() : canonical;
    const QByteArray hash = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder + QStringLiteral("/sync-%1.sqlite").arg(QString::fromLatin1(hash));
}

QString offMarkFor(const QString &databasePath)
{
    return databasePath + QStringLiteral(".off");
}

QString legacyFor(const QString &dayFilePath)
{
    return dayFilePath + QStringLiteral(".caldav");
}

bool isSetUp(const QString &folder, const QString &dayFilePath)
{
    const QString database = databaseFor(folder, dayFilePath);
    if (QFileInfo::exists(database))
        return !QFileInfo::exists(offMarkFor(database));
    return QFileInfo::exists(legacyFor(dayFilePath));
}

bool markOff(const QString &databasePath, bool off)
{
    QFile mark(offMarkFor(databasePath));
    if (!off)
        return !mark.exists() || mark.remove();
    return mark.exists() || mark.open(QIODevice::WriteOnly);
}

} // namespace syncstatelocation
