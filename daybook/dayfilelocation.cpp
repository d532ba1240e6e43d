#include "dayfilelocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

namespace {
const QString FileName = QStringLiteral("things.dat");

bool writableDirectory(const QString &dir)
{
    // QFileInfo::isWritable reads permission bits, which say nothing for root or read-only mounts.
    return ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

// An installed program is shared by every user; a day file there would be one user's (often
// root's, after a start with sudo) and lock the others out.
bool systemFolder(const QString &dir)
{
    const QString path = QFileInfo(dir).canonicalFilePath();
    for (const char *prefix : {"/usr", "/bin", "/sbin", "/opt", "/snap"}) {
        const QString p = QString::fromLatin1(prefix);
        if (path == p || path.startsWith(p + QLatin1Char('/')))
            return true;
    }
    return false;
}
} // namespace

QString dayFilePathFor(const QString &programDirectory, const QString &userDataDirectory)
{
    const QString beside = QDir(programDirectory).filePath(FileName);
    if (QFileInfo::exists(beside) || (writableDirectory(programDirectory) && !systemFolder(programDirectory)))
        return beside;
    QDir().mkpath(userDataDirectory);
    return QDir(userDataDirectory).filePath(FileName);
}

QString defaultDayFilePath()
{
    return dayFilePathFor(QCoreApplication::applicationDirPath(),
                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}
