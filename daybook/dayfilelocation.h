#pragma once

#include <QString>
#include <memory>

class FileOps;
class QSettings;

// The folder the user chose for the day file (编辑 → 日程文件位置…), as the program's settings keep it.
struct ChosenFolder
{
    QString folder;   // empty: none chosen
    QString movingTo; // set only while a move into this folder is under way, or was cut off
};

// What decides where things.dat lives.
struct DayFilePlaces
{
    QString commandLine;       // --day-file PATH; empty when not given
    QString programDirectory;  // the executable's folder
    ChosenFolder chosen;       // from the settings
    QString userDataDirectory; // QStandardPaths::AppDataLocation
};

// Where things.dat lives, the first that applies:
//   1. the path named on the command line;
//   2. the folder a move went to, once the day file is there: a move cut off after its last rename
//      but before the settings recorded it must not leave the day file behind;
//   3. beside the program, when a things.dat is there: a portable copy, or one an older version made;
//   4. the folder the user chose, as it is: a folder that is missing (a drive not mounted) shows
//      as a day file that cannot be opened, never as an empty diary somewhere else;
//   5. the user's data folder, made when missing.
// A new day file is never made beside the program by this rule: a build folder is removed by a
// clean, and an installed program's folder is shared by every user.
QString dayFilePathFor(FileOps &ops, const DayFilePlaces &places);

// things.dat in that folder.
QString dayFileIn(const QString &directory);

// The user's choice of folder, in the program's settings (~/.config/Tallyleaf/Tallyleaf.conf on
// Linux), which the window and the tool share.
class DayFileSetting
{
public:
    DayFileSetting();                                // the program's own settings
    explicit DayFileSetting(const QString &iniFile); // a file of the caller's, for tests
    ~DayFileSetting();
    DayFileSetting(const DayFileSetting &) = delete;
    DayFileSetting &operator=(const DayFileSetting &) = delete;

    ChosenFolder read() const;
    // Written and synced; false when the settings file could not be written.
    [[nodiscard]] bool write(const ChosenFolder &chosen);

private:
    std::unique_ptr<QSettings> m_settings;
};

// The same for this process: the executable's folder, the setting and AppDataLocation.
QString defaultDayFilePath(FileOps &ops, const QString &commandLine, const DayFileSetting &setting);
