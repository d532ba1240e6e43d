#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

// The CalDAV password in the system's keychain (the Secret Service, KWallet, ...) through
// QtKeychain, never in a file: where no keychain service runs, reading and writing fail and the
// caller asks the user instead, keeping the answer in memory only.
namespace passwordstore {

struct Result
{
    enum class Status { Found, NotFound, NoKeychain, Failed }; // Failed: a keychain runs, but said no
    Status status = Status::Failed;
    QString password; // with Found
    QString detail;   // the keychain's words
};

// Whether a keychain service runs, or can be started, on the session bus. QtKeychain answers
// "unknown error" where none does, as on many desktops and every Xvfb.
bool hasKeychain();

// The keychain entry of an account: the server and the name, not the path.
QString keyFor(const QUrl &url, const QString &user);

// done is called once, unless context is destroyed first.
void read(const QString &key, QObject *context, std::function<void(const Result &)> done);
void write(const QString &key, const QString &password, QObject *context, std::function<void(const Result &)> done);

} // namespace passwordstore
