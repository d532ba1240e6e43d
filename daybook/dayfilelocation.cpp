#include "dayfilelocation.h"

#include "fileops.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString FileName = QStringLiteral("things.dat");

bool writableDirectory(FileOps &ops, const QString &dir)
{
    // QFileInfo::isWritable reads permission bits, which say nothing for root or read-only mounts.
    return ops.access(dir, W_OK) == 0;
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

QString dayFilePathFor(FileOps &ops, const QString &programDirectory, const QString &userDataDirectory)
{
    const QString beside = QDir(programDirectory).filePath(FileName);
    struct stat st;
    if (ops.stat(beside, &st) == 0 || (writableDirectory(ops, programDirectory) && !systemFolder(programDirectory)))
        return beside;
    // A folder that cannot be made shows as a day file that cannot be opened, named in full.
    ops.makePath(userDataDirectory);
    return QDir(userDataDirectory).filePath(FileName);
}

QString defaultDayFilePath(FileOps &ops)
{
    return dayFilePathFor(ops, QCoreApplication::applicationDirPath(),
                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}
