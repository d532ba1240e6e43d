#include "passwordstore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <qt6keychain/keychain.h>

namespace passwordstore {

namespace {

const QString Service = QStringLiteral("Tallyleaf CalDAV");

Result resultOf(QKeychain::Job *job)
{
    switch (job->error()) {
    case QKeychain::NoError:
        return {Result::Status::Found, {}, {}};
    case QKeychain::EntryNotFound:
        return {Result::Status::NotFound, {}, job->errorString()};
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return {Result::Status::NoKeychain, {}, job->errorString()};
    case QKeychain::OtherError:
        if (!hasKeychain())
            return {Result::Status::NoKeychain, {}, job->errorString()};
        return {Result::Status::Failed, {}, job->errorString()};
    default:
        return {Result::Status::Failed, {}, job->errorString()};
    }
}

template <typename JobType>
JobType *newJob(const QString &key)
{
    auto *job = new JobType(Service);
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // a plain-text copy in a settings file is what the keychain is for avoiding
    job->setKey(key);
    return job;
}

} // namespace

bool hasKeychain()
{
    // The services QtKeychain's backends talk to: the Secret Service (GNOME Keyring, KeePassXC,
    // ...), and KWallet.
    static const QStringList services = {QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd6"),
                                         QStringLiteral("org.kde.kwalletd5"), QStringLiteral("org.kde.kwalletd")};
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface *daemon = bus.isConnected() ? bus.interface() : nullptr;
    if (!daemon)
        return false;
    const QStringList running = daemon->registeredServiceNames().value();
    const QStringList startable = daemon->activatableServiceNames().value();
    return std::any_of(services.begin(), services.end(), [&](const QString &service) {
        return running.contains(service) || startable.contains(service);
    });
}

QString keyFor(const QUrl &url, const QString &user)
{
    return QStringLiteral("%1@%2").arg(user, url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment
                                                          | QUrl::RemoveUserInfo)
                                                 .toString());
}

void read(const QString &key, QObject *context, std::function<void(const Result &)> done)
{
    auto *job = newJob<QKeychain::ReadPasswordJob>(key);
    QObject::connect(job, &QKeychain::Job::finished, context, [done](QKeychain::Job *finished) {
        Result result = resultOf(finished);
        if (result.status == Result::Status::Found)
            result.password = static_cast<QKeychain::ReadPasswordJob *>(finished)->textData();
        done(result);
    });
    job->start();
}

void write(const QString &key, const QString &password, QObject *context, std::function<void(const Result &)> done)
{
    auto *job = newJob<QKeychain::WritePasswordJob>(key);
    job->setTextData(password);
    QObject::connect(job, &QKeychain::Job::finished, context,
                     [done](QKeychain::Job *finished) { done(resultOf(finished)); });
    job->start();
}

} // namespace passwordstore
