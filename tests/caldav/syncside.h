#pragma once

#include "caldavsync.h"
#include "davclient.h"
#include "fakeclock.h"
#include "localthings.h"
#include "testserver.h"
#include "syncstatedatabase.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <functional>

// A day book in memory; apply() can be made to fail. As in a day file, a thing emptied keeps its
// record (an empty value); a thing erased from values is one the book has no record of.
class MemoryThings final : public LocalThings
{
public:
    std::map<ThingKey, ThingInput> values;
    bool failApply = false;
    QString notSyncable;
    DayFileStamp fileStamp{QStringLiteral("/memory/things.dat"), 1, 1, 0, 0};
    std::function<void(std::map<ThingKey, ThingInput> &)> typing; // changes values at each read, as a user types

    std::map<ThingKey, ThingInput> things(QDate from) const override
    {
        if (typing)
            typing(const_cast<std::map<ThingKey, ThingInput> &>(values));
        return {values.lower_bound({from, 0}), values.end()};
    }
    ApplyResult apply(const std::map<ThingKey, ThingInput> &changes) override
    {
        if (failApply)
            return {ApplyResult::Status::Failed, QStringLiteral("disk full")};
        for (const auto &[key, thing] : changes) {
            values[key] = thing;
            fileStamp.length += 1; // written: longer or not, later
            fileStamp.changedNs += 1;
        }
        return {};
    }
    QString whyNotSyncable() const override { return notSyncable; }
    DayFileStamp stamp() const override { return fileStamp; }

    // The things with text or a tick.
    std::map<ThingKey, ThingInput> shown() const
    {
        std::map<ThingKey, ThingInput> things;
        for (const auto &[key, thing] : values) {
            if (!thing.isEmpty())
                things.emplace(key, thing);
        }
        return things;
    }
};

// One computer: its day book, its state file beside it, and a sync run to the end.
struct SyncSide
{
    MemoryThings book;
    QTemporaryDir dir;
    SyncStateDatabase state{dir.filePath(QStringLiteral("state")), dir.filePath(QStringLiteral("things.dat"))};
    FakeClock clock{QDateTime(QDate(2026, 12, 8), QTime(9, 0), QTimeZone::utc())};
    std::chrono::milliseconds timeout{5000};
    qint64 maxAnswerBytes = qint64(64) << 20;
    // Called with the running job, to cut it short as a crash would.
    std::function<void(CalDavSync &)> whileRunning;

    SyncReport sync(const QUrl &url, SyncOptions options = {}, SyncStateStore *store = nullptr)
    {
        QNetworkAccessManager network;
        DavClient client(network, {QString::fromLatin1(TestServer::User), QString::fromLatin1(TestServer::Password)},
                         {timeout, maxAnswerBytes});
        options.url = url;
        options.user = QString::fromLatin1(TestServer::User);
        CalDavSync job(client, book, store ? *store : state, clock, options);
        SyncReport report;
        report.status = SyncReport::Status::ServerFailed;
        report.failure = QStringLiteral("the sync never finished");
        QEventLoop loop;
        QObject::connect(&job, &CalDavSync::finished, &loop, [&](const SyncReport &r) {
            report = r;
            loop.quit();
        });
        QTimer::singleShot(0, &job, &CalDavSync::start);
        if (whileRunning)
            whileRunning(job);
        QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
        loop.exec();
        return report;
    }
};

inline ThingKey key(int day, int number)
{
    return {QDate(2026, 12, day), number};
}
