#include "dayfilelocation.h"

#include "fileops.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <sys/stat.h>

namespace {
const QString FolderKey = QStringLiteral("dayFile/folder");
const QString MovingToKey = QStringLiteral("dayFile/movingTo");

bool dayFileIsIn(FileOps &ops, const QString &directory)
{
    struct stat st;
    return !directory.isEmpty() && ops.stat(dayFileIn(directory), &st) == 0;
}
} // namespace

QString dayFileIn(const QString &directory) { return QDir(directory).filePath(QStringLiteral("things.dat")); }

QString dayFilePathFor(FileOps &ops, const DayFilePlaces &places)
{
    if (!places.commandLine.isEmpty())
        return places.commandLine;
    if (dayFileIsIn(ops, places.chosen.movingTo))
        return dayFileIn(places.chosen.movingTo);
    if (dayFileIsIn(ops, places.programDirectory))
        return dayFileIn(places.programDirectory);
    if (!places.chosen.folder.isEmpty())
        return dayFileIn(places.chosen.folder);
    // A folder that cannot be made shows as a day file that cannot be opened, named in full.
    ops.makePath(places.userDataDirectory);
    return dayFileIn(places.userDataDirectory);
}

// Named explicitly: the program sets no organisation (it would change the data folder's name),
// and QSettings cannot write without one.
DayFileSetting::DayFileSetting()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tallyleaf"),
                                             QStringLiteral("Tallyleaf")))
{
}

DayFileSetting::DayFileSetting(const QString &iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

DayFileSetting::~DayFileSetting() = default;

ChosenFolder DayFileSetting::read() const
{
    return {m_settings->value(FolderKey).toString(), m_settings->value(MovingToKey).toString()};
}

bool DayFileSetting::write(const ChosenFolder &chosen)
{
    for (const auto &[key, value] : {std::pair{FolderKey, chosen.folder}, std::pair{MovingToKey, chosen.movingTo}}) {
        if (value.isEmpty())
            m_settings->remove(key);
        else
            m_settings->setValue(key, value);
    }
    m_settings->sync(); // written whole to a new file, then renamed over the old one
    return m_settings->status() == QSettings::NoError;
}

QString defaultDayFilePath(FileOps &ops, const QString &commandLine, const DayFileSetting &setting)
{
    return dayFilePathFor(ops, {commandLine, QCoreApplication::applicationDirPath(), setting.read(),
                                QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)});
}
