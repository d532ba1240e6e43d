#pragma once

#include "windowsync.h"

#include <QObject>
#include <memory>

class Prompts;
class ShownDay;
class TimeSource;

// What the sync's plugin gives the program: the window's sync of a shown day, with the system's
// keychain and a network manager of its own, its state kept in stateFolder. The plugin is never
// unloaded, so what it makes may live as long as the program.
class WindowSyncPlugin
{
public:
    virtual ~WindowSyncPlugin() = default;
    virtual std::unique_ptr<WindowSync> create(ShownDay &day, const TimeSource &time, Prompts &prompts,
                                               const QString &stateFolder) = 0;
};

#define WindowSyncPlugin_iid "org.tallyleaf.Tallyleaf.WindowSyncPlugin/1"
Q_DECLARE_INTERFACE(WindowSyncPlugin, WindowSyncPlugin_iid)
