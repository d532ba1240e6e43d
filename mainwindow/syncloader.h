#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class Prompts;
class ShownDay;
class TimeSource;
class WindowSync;

// The window's sync comes from its plugin, found beside the program (the build tree, a copy kept
// in one folder) or in the install prefix's library folder. The plugin is loaded the first time a
// sync is made and stays loaded.
namespace syncloader {

// Where the plugin is looked for, in that order.
QStringList places();

// The window's sync, its state in stateFolder; nothing when the plugin cannot be loaded, which
// the user has been told.
std::unique_ptr<WindowSync> make(ShownDay &day, const TimeSource &time, Prompts &prompts, const QString &stateFolder);

} // namespace syncloader
