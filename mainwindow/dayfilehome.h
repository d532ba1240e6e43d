#pragma once

#include <QString>
#include <functional>

class DayFileSetting;

// What the window needs to show where the day file is kept and to move it (编辑 → 日程文件位置…).
struct DayFileHome
{
    // The program's choice of folder, which a move changes; nullptr when the command line named
    // the day file (a move then changes no choice: the next start names it again).
    DayFileSetting *setting = nullptr;
    // The folder the user picks, starting at from; empty when the user cancelled.
    std::function<QString(const QString &from)> pickFolder;
    // Starts the program again on the day file at its new place; false when it could not be started.
    std::function<bool(const QString &dayFile)> restart;

    // This program's: a folder dialog, and the executable started again with its arguments.
    static DayFileHome forThisProgram(DayFileSetting *setting);
};
