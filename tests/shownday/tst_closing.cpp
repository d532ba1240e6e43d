// Closing the window over a day that cannot be kept: the user may retry, give it up or go back.
#include "showndayfixture.h"

#include <QDir>
#include <QTest>

Q_DECLARE_METATYPE(Prompts::FailedSave)

class tst_Closing : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void closingOverAnUnwritableFile_data();
    void closingOverAnUnwritableFile();
    void closingOverARefusedDay();
};

void tst_Closing::closingOverAnUnwritableFile_data()
{
    QTest::addColumn<Prompts::FailedSave>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("saved");
    QTest::newRow("retry, the disk healed") << Prompts::FailedSave::Retry << true << true;
    QTest::newRow("discard") << Prompts::FailedSave::Discard << true << false;
    QTest::newRow("cancel: back to the window") << Prompts::FailedSave::Cancel << false << false;
}

// The message names every day that would be lost, not only the shown one.
void tst_Closing::closingOverAnUnwritableFile()
{
    QFETCH(Prompts::FailedSave, answer);
    QFETCH(bool, closes);
    QFETCH(bool, saved);
    ShownDayFixture f;
    f.view.type(0, QStringLiteral("earlier"));
    f.failDisk(1);
    QVERIFY(f.day.goToDay(QDate(2013, 5, 18))); // 17 May is owed to the disk now
    f.view.type(0, QStringLiteral("important"));
    f.prompts.failedSave = answer;
    if (answer == Prompts::FailedSave::Retry)
        f.prompts.whileAsked = [&f] { f.failDisk(0); };
    f.failDisk(1);
    QCOMPARE(f.mayClose(), closes);
    QCOMPARE(f.prompts.retryTexts.size(), 1);
    const QString text = f.prompts.retryTexts[0];
    QVERIFY2(text.startsWith(QStringLiteral("2013/5/17、2013/5/18 的内容未能写入文件")), qPrintable(text));
    QVERIFY(text.contains(QDir::toNativeSeparators(f.folder.path)));
    QVERIFY(text.contains(QStringLiteral("磁盘读写出错（Input/output error）")));
    QCOMPARE(f.file().size(), saved ? 2000 : 0);
    if (!closes)
        QCOMPARE(f.view.texts()[0], QStringLiteral("important")); // back to the window as it was
}

void tst_Closing::closingOverARefusedDay()
{
    // A day that cannot be encoded: no disk advice, no retry; the message names the thing and
    // the character, and No keeps the window open.
    ShownDayFixture refused;
    refused.view.type(0, QStringLiteral("x"));
    refused.view.setText(3, QStringLiteral("ok 🎉"));
    refused.prompts.answerYes = false;
    QVERIFY(!refused.mayClose());
    QVERIFY(refused.prompts.retryTexts.isEmpty());
    QCOMPARE(refused.prompts.asked.size(), 1);
    QVERIFY(refused.prompts.asked[0].contains(QStringLiteral("第4件事中的 🎉")));
    QVERIFY(!refused.prompts.asked[0].contains(QStringLiteral("磁盘")));

    // While the session ends nothing is asked.
    refused.day.beginEnding();
    QVERIFY(refused.mayClose());
    QCOMPARE(refused.prompts.asked.size(), 1);
}

QTEST_GUILESS_MAIN(tst_Closing)
#include "tst_closing.moc"
