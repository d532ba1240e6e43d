#pragma once

#include <QString>
#include <QUrl>
#include <functional>

// The main window's sync with a calendar server, as the window sees it. The sync itself
// (CalDavWindowSync) lives in a plugin with the network, iCalendar and keychain libraries it needs
// (WindowSyncPlugin), which the program loads only once a sync is set up or the user opens its
// settings; this header needs Qt Core alone.
class WindowSync
{
public:
    enum class State { Off, Waiting, Running, InStep, Conflicts, Failed };

    virtual ~WindowSync() = default;

    // Start-up is over: the timers run from now on.
    virtual void start() = 0;
    virtual bool isSetUp() const = 0;
    virtual QUrl url() const = 0;
    virtual QString user() const = 0;
    // The account the user gave (an empty url: no sync from now on), then a sync. An empty
    // password: the keychain's, or this session's for the same account. False when it cannot be
    // used; the user has been told why.
    virtual bool setUp(const QUrl &url, const QString &user, const QString &password) = 0;
    // How far back the sync reaches: days before today, -1 for every day. Kept with the state;
    // false when it cannot be kept (the user has been told why).
    virtual int sinceDays() const = 0;
    virtual bool setRange(int sinceDays) = 0;
    // A sync asked for by the user: a password is asked for again, and every failure told.
    virtual void syncNow() = 0;
    // The window closes: a sync still running ends where it is (the next one goes on from there).
    // True when it was running.
    virtual bool stop() = 0;
    // The day file was moved to newPath: the sync stops, and its state goes with the file (the
    // next sync compares anew what the day file at its new place may not agree with).
    virtual void dayFileMoved(const QString &newPath) = 0;

    virtual State state() const = 0;
    // For the menu item: a few words on the last sync, and its details for a tooltip.
    virtual QString status() const = 0;
    virtual QString details() const = 0;
    // Whether the password outlasts the program: false where no keychain runs.
    virtual bool keepsPasswords() const = 0;
    // Called whenever the state, the status or the details change.
    virtual void setOnStateChanged(std::function<void()> changed) = 0;
};

namespace syncwords {

// Closing while a sync runs. Here rather than with the sync's other words (syncwords.h), which
// the window, knowing the sync only through this header, cannot reach.
inline QString cutShortAtClose()
{
    return QStringLiteral("同步还没有做完，剩下的会在下次启动程序时接着同步，不会丢失。");
}

} // namespace syncwords
