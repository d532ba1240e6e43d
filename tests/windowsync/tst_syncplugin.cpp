// The sync's libraries stay out of a start with no sync set up: whether one is set up is known from
// the state folder without opening the state, and the real program loads its sync plugin (found
// beside it in the build tree) only then.
#include "rollbackjournal.h"
#include "syncstatedatabase.h"
#include "syncstatelocation.h"

#include <QCborMap>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QUrl Calendar(QStringLiteral("http://127.0.0.1:1/alice/things/"));

// Saves the account as the window's and the tool's settings do.
bool saveAccount(SyncStateDatabase &store, const QUrl &url)
{
    SyncState state;
    state.url = url;
    state.user = QStringLiteral("alice");
    SyncStateChange all;
    all.account = all.everything = true;
    return store.save(state, all).ok;
}

bool writeLegacyState(const QString &dayFile)
{
    QCborMap state;
    state.insert(QStringLiteral("format"), 1);
    state.insert(QStringLiteral("url"), Calendar.toString());
    state.insert(QStringLiteral("user"), QStringLiteral("alice"));
    QFile file(syncstatelocation::legacyFor(dayFile));
    return file.open(QIODevice::WriteOnly) && file.write(state.toCborValue().toCbor()) > 0;
}

bool maps(qint64 pid, const QString &library)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library.toUtf8());
}

} // namespace

class tst_SyncPlugin : public QObject
{
    Q_OBJECT

private slots:
    void whetherASyncIsSetUp_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("loaded"); // the window loads the sync
        QTest::addColumn<bool>("setUp");  // the sync finds an account
        QTest::newRow("never") << QStringList{} << false << false;
        QTest::newRow("an account") << QStringList{"on"} << true << true;
        QTest::newRow("turned off") << QStringList{"on", "off"} << false << false;
        QTest::newRow("turned off, then on again") << QStringList{"on", "off", "on"} << true << true;
        // Loaded once for nothing; the sync then marks it.
        QTest::newRow("turned off by an earlier version, without the mark") << QStringList{"on", "off", "unmark"} << true << false;
        QTest::newRow("an earlier version's state beside the day file") << QStringList{"legacy"} << true << true;
        // Once the earlier state came back after the user had turned the sync off.
        QTest::newRow("turned off, an earlier version's state still beside") << QStringList{"legacy", "load", "off"}
                                                                              << false << false;
    }
    void whetherASyncIsSetUp()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, loaded);
        QFETCH(bool, setUp);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("state"));
        const QString dayFile = dir.filePath(QStringLiteral("things.dat"));
        {
            SyncStateDatabase store(folder, dayFile);
            for (const QString &step : std::as_const(steps)) {
                if (step == u"on" || step == u"off")
                    QVERIFY(saveAccount(store, step == u"on" ? Calendar : QUrl()));
                else if (step == u"unmark")
                    QVERIFY(QFile::remove(syncstatelocation::offMarkFor(store.path())));
                else if (step == u"legacy")
                    QVERIFY(writeLegacyState(dayFile));
                else if (step == u"load")
                    QVERIFY(std::holds_alternative<SyncState>(store.loadAccount()));
            }
        }
        QCOMPARE(syncstatelocation::isSetUp(folder, dayFile), loaded);
        SyncStateDatabase again(folder, dayFile);
        const auto account = again.loadAccount();
        QVERIFY(std::holds_alternative<SyncState>(account));
        QCOMPARE(!std::get<SyncState>(account).url.isEmpty(), setUp);
    }

    void theProgramLoadsItsSyncOnlyWhenSetUp_data()
    {
        QTest::addColumn<bool>("setUp");
        QTest::newRow("no sync set up") << false;
        QTest::newRow("a sync set up") << true;
    }
    void theProgramLoadsItsSyncOnlyWhenSetUp()
    {
        QFETCH(bool, setUp);
        QTemporaryDir dir;
        const QString dayFile = dir.filePath(QStringLiteral("things.dat"));
        QFile(dayFile).open(QIODevice::WriteOnly);
        const QString stateHome = dir.filePath(QStringLiteral("state"));
        if (setUp) {
            SyncStateDatabase store(stateHome + QStringLiteral("/Tallyleaf"), dayFile);
            QVERIFY(saveAccount(store, Calendar));
        }
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(TALLYLEAF_PROGRAM), {QStringLiteral("--day-file"), dayFile});
        QVERIFY(program.waitForStarted());
        // The journal is made when the day file is loaded, after the sync was attached.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(rollbackjournal::pathFor(dayFile)), 20000);
        const bool plugin = maps(program.processId(), QStringLiteral("/tallyleaf-sync.so"));
        const bool ical = maps(program.processId(), QStringLiteral("/libical.so"));
        program.kill();
        program.waitForFinished();
        QCOMPARE(plugin, setUp);
        QCOMPARE(ical, setUp);
    }
};

QTEST_GUILESS_MAIN(tst_SyncPlugin)
#include "tst_syncplugin.moc"
