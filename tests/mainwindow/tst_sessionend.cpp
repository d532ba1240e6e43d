// The real program in a child process: a kill, a closed terminal or Ctrl+C saves the shown day as
// closing the window does.
#include "filebytes.h"
#include "rollbackjournal.h"
#include "slotimage.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace slotimage;

class tst_SessionEnd : public QObject
{
    Q_OBJECT

private slots:
    void signalSavesTheShownDay_data();
    void signalSavesTheShownDay();
};

void tst_SessionEnd::signalSavesTheShownDay_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("duringAMessage");
    QTest::addColumn<bool>("todayStored"); // otherwise the file holds only yesterday
    QTest::newRow("SIGTERM") << SIGTERM << false << true;
    QTest::newRow("SIGHUP") << SIGHUP << false << true;
    QTest::newRow("SIGINT") << SIGINT << false << true;
    // A journal written for another file is set aside at start-up, and a message says so.
    QTest::newRow("SIGTERM while a start-up message is open") << SIGTERM << true << true;
    // The signal comes while start-up fills the window: today, shown empty, gets no records.
    QTest::newRow("SIGTERM before today is shown, nothing stored for it") << SIGTERM << false << false;
}

void tst_SessionEnd::signalSavesTheShownDay()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, duringAMessage);
    QFETCH(bool, todayStored);

    // A portable copy: the program keeps its day file beside itself when one is there.
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("tallyleaf"));
    QVERIFY(QFile::copy(QStringLiteral(TALLYLEAF_PROGRAM), program));

    // Today's first thing as another program stored it, with spaces around it. The window shows
    // it trimmed, and only a save of the shown day writes the trimmed text: what the user would
    // have typed since the last save stands in for it.
    const double today = QDate(1899, 12, 30).daysTo(QDate::currentDate());
    const double stored = todayStored ? today : today - 1;
    QByteArray file = slot(0, 1, "  hello world", false, stored);
    for (int no = 2; no <= 5; ++no)
        file += slot(0, no, "", false, stored);
    const QString dayFile = dir.filePath(QStringLiteral("things.dat"));
    QVERIFY(writeFile(dayFile, file));
    const QString journal = rollbackjournal::pathFor(dayFile);
    if (duringAMessage) {
        rollbackjournal::Journal foreign;
        foreign.oldLength = foreign.newLength = 4000;
        foreign.ranges.push_back({0, QByteArray(200, 'o'), QByteArray(200, 'n')});
        QVERIFY(writeFile(journal, rollbackjournal::encode(foreign)));
    }

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, {});
    QVERIFY(child.waitForStarted());
    // The lock file appears once the signals are caught; the journal is set aside just before
    // the message is shown.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(dayFile + QStringLiteral(".lock")), 20000);
    if (duringAMessage) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(journal + QStringLiteral(".kept")), 20000);
        QTest::qWait(1000);
    }
    QCOMPARE(::kill(pid_t(child.processId()), signalNumber), 0);
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);

    QByteArray expected = file;
    if (todayStored)
        expected.replace(0, 200, slot(0, 1, "hello world", false, today));
    QCOMPARE(readFile(dayFile).toHex(), expected.toHex());
}

QTEST_GUILESS_MAIN(tst_SessionEnd)
#include "tst_sessionend.moc"
