#include "program.h"

#include "dayfile.h"
#include "dayfilelocation.h"
#include "exitsignals.h"
#include "fileops.h"
#include "frm_main.h"
#include "messageboxprompts.h"
#include "programarguments.h"
#include "qttranslations.h"
#include "singleinstance.h"
#include "syncloader.h"
#include "syncstatelocation.h"
#include "timesource.h"
#include "windowsync.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocale>
#include <QPointer>
#include <QThread>

int runTallyleaf()
{
    QApplication::setApplicationName(QStringLiteral("Tallyleaf"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tallyleaf.Tallyleaf")); // the launcher's icon

    // Qt's own buttons (Yes, No, OK) in the system's language.
    installQtTranslations(QLocale::system());

    // A kill or a logout ends the program as a close does, from here on, whatever is on screen:
    // a message before the window only closes, the window saves the shown day first.
    ExitSignals exitSignals;
    QPointer<frm_main> mainWindow;
    bool ending = false;
    const auto endSession = [&] {
        ending = true;
        if (mainWindow)
            mainWindow->endSession();
        else
            QCoreApplication::exit(0); // ends a message's loop
    };
    QObject::connect(&exitSignals, &ExitSignals::received, endSession);
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, endSession);
    exitSignals.start();

    FileOps ops; // the real file system, for everything the program reads and writes
    const std::optional<QString> namedDayFile = dayFileNamedOn(QCoreApplication::arguments());
    if (!namedDayFile)
        return 1; // said on standard error
    DayFileSetting setting;
    const QString dayFilePath = defaultDayFilePath(ops, *namedDayFile, setting);
    MessageBoxPrompts prompts;
    DayFile dayFile(ops, dayFilePath);

    // One program writes a day file at a time; a second start hands over to the first.
    SingleInstance instance(dayFilePath);
    DayFileLock::Status status = dayFile.lock();
    // A copy started at the same moment holds the lock a moment before it answers.
    const QDeadlineTimer patience(5000);
    while (status == DayFileLock::Status::HeldByOther && !ending) {
        if (instance.activateRunning(1000))
            return 0;
        if (patience.hasExpired())
            break;
        QThread::msleep(100);
        status = dayFile.lock(); // the holder may have ended meanwhile
    }
    const DayFileLock &lock = dayFile.dayFileLock();
    switch (status) {
    case DayFileLock::Status::Locked:
        instance.listen();
        break;
    case DayFileLock::Status::HeldByOther:
        prompts.inform(QStringLiteral("Tallyleaf 已在运行（进程 %1），正在使用\n%2\n但无法切换到它的窗口。"
                                      "请在任务栏中找到它，或结束它后再启动。")
                           .arg(lock.holderPid())
                           .arg(QDir::toNativeSeparators(dayFilePath)));
        return ending ? 0 : 1;
    case DayFileLock::Status::Blocked:
        prompts.inform(QStringLiteral("Tallyleaf 无法锁定日程文件，因为这里有一个它不能删除的锁：\n%1\n（%2）\n\n"
                                      "请确认没有别的 Tallyleaf 在使用它，删除它后再启动。")
                           .arg(QDir::toNativeSeparators(lock.obstacle()), lock.obstacleReason()));
        return ending ? 0 : 1;
    case DayFileLock::Status::Failed:
    case DayFileLock::Status::NoLocking:
    case DayFileLock::Status::Unlocked:
        break; // the day file is only read; start-up says why
    }
    if (ending)
        return 0;

    SystemTime time;
    frm_main window(dayFile, ops, time, prompts);
    mainWindow = &window;
    // The sync's libraries are loaded only for a day file that has a sync set up.
    const QString stateFolder = syncstatelocation::defaultFolder();
    window.attachSync([stateFolder](ShownDay &day, const TimeSource &clock, Prompts &asker) {
        return syncloader::make(day, clock, asker, stateFolder);
    }, syncstatelocation::isSetUp(stateFolder, dayFilePath));
    window.setDayFileHome(DayFileHome::forThisProgram(namedDayFile->isEmpty() ? &setting : nullptr));
    prompts.setParentWindow(&window);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&window] {
        window.showNormal();
        window.showMainWindow();
    });
    window.Form_Load();
    // A signal during a start-up message has closed the window already.
    if (window.isEnding())
        return 0;
    return QApplication::exec();
}
