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
} // namespace

QString dayFilePathFor(const QString &programDirectory, const QString &userDataDirectory)
{
    const QString beside = QDir(programDirectory).filePath(FileName);
    if (QFileInfo::exists(beside) || writableDirectory(programDirectory))
        return beside;
    QDir().mkpath(userDataDirectory);
    return QDir(userDataDirectory).filePath(FileName);
}

QString defaultDayFilePath()
{
    return dayFilePathFor(QCoreApplication::applicationDirPath(),
                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}
