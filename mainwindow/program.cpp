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
#include <QDir>
#include <QLocale>

int runTallyleaf()
{
    QApplication::setApplicationName(QStringLiteral("Tallyleaf"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tallyleaf.Tallyleaf")); // the launcher's icon

    // Qt's own buttons (Yes, No, OK) in the system's language.
    installQtTranslations(QLocale::system());

    // From here on a kill or a logout saves like a close; caught before the lock file appears.
    ExitSignals exitSignals;

    const QString dayFilePath = defaultDayFilePath();
    MessageBoxPrompts prompts;

    // One program writes a day file at a time; a second start hands over to the first.
    DayFileLock lock(dayFilePath);
    SingleInstance instance(dayFilePath);
    switch (lock.acquire()) {
    case DayFileLock::Status::Locked:
        instance.listen();
        break;
    case DayFileLock::Status::HeldByOther:
        if (instance.activateRunning())
            return 0;
        prompts.inform(nullptr, QStringLiteral("Tallyleaf 已在运行（进程 %1），正在使用\n%2\n但无法切换到它的窗口。"
                                               "请在任务栏中找到它，或结束它后再启动。")
                                    .arg(lock.holderPid())
                                    .arg(QDir::toNativeSeparators(dayFilePath)));
        return 1;
    case DayFileLock::Status::Failed:
        break; // a folder where no lock can be made cannot take saves either; the window says so at close
    }

    Module_pub pub(FileOps::system());
    SystemTime time;
    frm_main window(pub, time, prompts);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&window] {
        window.showNormal();
        window.showMainWindow();
    });
    window.Form_Load(dayFilePath);

    // The end of the session writes the shown day as closing the window does, then ends.
    QObject::connect(&exitSignals, &ExitSignals::received, &window, &frm_main::endSession);
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &window, [&window] { window.endSession(); });
    exitSignals.start();
    return QApplication::exec();
}
