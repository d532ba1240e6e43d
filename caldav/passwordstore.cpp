#include "passwordstore.h"

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
