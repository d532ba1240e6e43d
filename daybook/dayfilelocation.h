#pragma once

#include <QString>

class FileOps;

// Where things.dat lives. Beside the program, as it always has, when a day file is already there
// or the program's folder is writable (a portable copy) and not a system folder; otherwise, as for
// a program installed into /usr/bin, in the user's own data folder, so that saves can succeed.
QString dayFilePathFor(FileOps &ops, const QString &programDirectory, const QString &userDataDirectory);

// The same for this process: the executable's folder and QStandardPaths::AppDataLocation.
QString defaultDayFilePath(FileOps &ops);
