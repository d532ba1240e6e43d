#include "syncloader.h"

#include "prompts.h"
#include "windowsyncplugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

namespace syncloader {

QStringList places()
{
    const QString here = QCoreApplication::applicationDirPath();
    const QString name = QStringLiteral(TALLYLEAF_SYNC_PLUGIN);
    return {here + QLatin1Char('/') + name,
            QDir::cleanPath(here + QStringLiteral("/" TALLYLEAF_SYNC_PLUGIN_FROM_BIN "/") + name)};
}

std::unique_ptr<WindowSync> make(ShownDay &day, const TimeSource &time, Prompts &prompts, const QString &stateFolder)
{
    QStringList tried;
    for (const QString &path : places()) {
        if (!QFileInfo::exists(path)) {
            tried << QDir::toNativeSeparators(path);
            continue;
        }
        QPluginLoader loader(path); // its destructor leaves the plugin loaded, as what it makes needs
        if (auto *plugin = qobject_cast<WindowSyncPlugin *>(loader.instance()))
            return plugin->create(day, time, prompts, stateFolder);
        // The loader's words are for whoever starts the program from a terminal.
        qWarning("tallyleaf: %s", qPrintable(loader.errorString()));
        tried << QDir::toNativeSeparators(path);
    }
    prompts.inform(QStringLiteral("无法载入日历同步组件，同步暂时不能使用。请重新安装 Tallyleaf。\n\n找过的位置：\n%1")
                       .arg(tried.join(u'\n')));
    return nullptr;
}

} // namespace syncloader
