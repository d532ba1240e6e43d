// The plugin the program loads for its sync with a calendar server (see windowsyncplugin.h).
#include "caldavwindowsync.h"
#include "passwordkeeper.h"
#include "windowsyncplugin.h"

#include <QNetworkAccessManager>

namespace {

// What the sync reaches the keychain and the server through, made before it and gone after it.
struct SyncMeans
{
    KeychainPasswords passwords;
    QNetworkAccessManager network;
};

class SyncWithItsMeans final : private SyncMeans, public CalDavWindowSync
{
public:
    SyncWithItsMeans(ShownDay &day, const TimeSource &time, Prompts &prompts, const QString &stateFolder)
        : CalDavWindowSync(day, time, prompts, passwords, network, stateFolder)
    {
    }
};

} // namespace

class CalDavSyncPlugin final : public QObject, public WindowSyncPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID WindowSyncPlugin_iid)
    Q_INTERFACES(WindowSyncPlugin)

public:
    std::unique_ptr<WindowSync> create(ShownDay &day, const TimeSource &time, Prompts &prompts,
                                       const QString &stateFolder) override
    {
        return std::make_unique<SyncWithItsMeans>(day, time, prompts, stateFolder);
    }
};

#include "syncplugin.moc"
