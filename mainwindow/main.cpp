#include "dayfilelocation.h"
#include "frm_main.h"
#include "module_pub.h"
#include "prompts.h"
#include "timesource.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyleaf"));

    // Qt's own buttons (Yes, No, OK) in the system's language.
    QTranslator qtTranslations;
    if (qtTranslations.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslations);

    Module_pub pub;
    SystemTime time;
    MessageBoxPrompts prompts;
    frm_main window(pub, time, prompts);
    window.Form_Load(defaultDayFilePath());
    return QApplication::exec();
}
