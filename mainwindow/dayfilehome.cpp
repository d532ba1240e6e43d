#include "dayfilehome.h"

#include "programarguments.h"

#include <QApplication>
#include <QFileDialog>
#include <QProcess>

DayFileHome DayFileHome::forThisProgram(DayFileSetting *setting)
{
    DayFileHome home;
    home.setting = setting;
    home.pickFolder = [](const QString &from) {
        return QFileDialog::getExistingDirectory(QApplication::activeWindow(), QStringLiteral("把日程文件移到"), from);
    };
    const bool named = setting == nullptr;
    home.restart = [named](const QString &dayFile) {
        QStringList arguments = QCoreApplication::arguments();
        arguments = named ? namingDayFile(arguments, dayFile) : arguments.mid(1);
        return QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments);
    };
    return home;
}
