#include "program.h"

#include "dayfilelocation.h"
#include "dayfilelock.h"
#include "exitsignals.h"
#include "fileops.h"
#include "frm_main.h"
#include "module_pub.h"
#include "prompts.h"
#include "qttranslations.h"
#include "singleinstance.h"
#include "timesource.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocale>
#include <QThread>

int runTallyleaf()
{
    QApplication::setApplicationName(QStringLiteral("Tallyleaf"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tallyleaf.Tallyleaf")); // the launcher's icon

    // Qt's own buttons (Yes, No, OK) in the system's language.
    installQtTranslations(QLocale::system());

    // From here on a kill or a logout saves like a close; caught before the lock file appears.
    ExitSignals exitSignals;

    FileOps ops; // the real file system, for everything the program reads and writes
    const QString dayFilePath = defaultDayFilePath(ops);
    MessageBoxPrompts prompts;
    Module_pub pub(ops, dayFilePath);

    // One program writes a day file at a time; a second start hands over to the first.
    SingleInstance instance(dayFilePath);
    DayFileLock::Status status = pub.dayFile.lock();
    // A copy started at the same moment holds the lock a moment before it answers.
    const QDeadlineTimer patience(5000);
    while (status == DayFileLock::Status::HeldByOther) {
        if (instance.activateRunning(1000))
            return 0;
        if (patience.hasExpired())
            break;
        QThread::msleep(100);
        status = pub.dayFile.lock(); // the holder may have ended meanwhile
    }
    const DayFileLock &lock = pub.dayFile.dayFileLock();
    switch (status) {
    case DayFileLock::Status::Locked:
        instance.listen();
        break;
    case DayFileLock::Status::HeldByOther:
        prompts.inform(nullptr, QStringLiteral("Tallyleaf 已在运行（进程 %1），正在使用\n%2\n但无法切换到它的窗口。"
                                               "请在任务栏中找到它，或结束它后再启动。")
                                    .arg(lock.holderPid())
                                    .arg(QDir::toNativeSeparators(dayFilePath)));
        return 1;
    case DayFileLock::Status::Blocked:
        prompts.inform(nullptr, QStringLiteral("Tallyleaf 无法锁定日程文件，因为这里有一个它不能删除的锁：\n%1\n（%2）\n\n"
                                               "请确认没有别的 Tallyleaf 在使用它，删除它后再启动。")
                                    .arg(QDir::toNativeSeparators(lock.obstacle()), lock.obstacleReason()));
        return 1;
    case DayFileLock::Status::Failed:
    case DayFileLock::Status::NoLocking:
    case DayFileLock::Status::Unlocked:
        break; // the day file is only read; start-up says why
    }

    SystemTime time;
    frm_main window(pub, time, prompts);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&window] {
        window.showNormal();
        window.showMainWindow();
    });
    window.Form_Load();

    // The end of the session writes the shown day as closing the window does, then ends.
    QObject::connect(&exitSignals, &ExitSignals::received, &window, &frm_main::endSession);
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &window, [&window] { window.endSession(); });
    exitSignals.start();
    return QApplication::exec();
}
