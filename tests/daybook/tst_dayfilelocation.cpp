#include "dayfilelocation.h"
#include "fileops.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_DayFileLocation : public QObject
{
    Q_OBJECT

private slots:
    // Folders are names inside a fresh temporary folder: "program" holds the executable, "data" is
    // the user's data folder; dayFilesIn names the folders that hold a things.dat.
    void firstPlaceThatAppliesWins_data()
    {
        QTest::addColumn<QStringList>("dayFilesIn");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("movingTo");
        QTest::addColumn<QString>("expected");

        QTest::newRow("first start: the data folder, though the program's folder is writable (make run)")
            << QStringList{} << "" << "" << "" << "data";
        QTest::newRow("a day file beside the program: a portable copy, or one an older version made")
            << QStringList{"program", "chosen"} << "" << "chosen" << "" << "program";
        QTest::newRow("the chosen folder") << QStringList{} << "" << "chosen" << "" << "chosen";
        QTest::newRow("the chosen folder, missing: not made, not the data folder instead")
            << QStringList{} << "" << "gone" << "" << "gone";
        QTest::newRow("the command line over everything")
            << QStringList{"program"} << "named/x.dat" << "chosen" << "" << "named/x.dat";
        QTest::newRow("a move cut off after its last rename: the new folder")
            << QStringList{"chosen", "new"} << "" << "chosen" << "new" << "new";
        QTest::newRow("a move cut off before its last rename: the old folder")
            << QStringList{"chosen"} << "" << "chosen" << "new" << "chosen";
    }

    void firstPlaceThatAppliesWins()
    {
        QFETCH(QStringList, dayFilesIn);
        QFETCH(QString, commandLine);
        QFETCH(QString, chosen);
        QFETCH(QString, movingTo);
        QFETCH(QString, expected);
        QTemporaryDir root;
        const auto at = [&](const QString &name) { return name.isEmpty() ? QString() : root.filePath(name); };
        for (const char *folder : {"program", "chosen", "new"})
            QVERIFY(QDir().mkpath(at(folder)));
        for (const QString &folder : dayFilesIn) {
            QFile f(at(folder) + "/things.dat");
            QVERIFY(f.open(QIODevice::WriteOnly));
        }

        FileOps ops;
        const QString path =
            dayFilePathFor(ops, {at(commandLine), at("program"), {at(chosen), at(movingTo)}, at("data")});
        QCOMPARE(path, expected.endsWith(".dat") ? at(expected) : at(expected) + "/things.dat");
        QCOMPARE(QFileInfo::exists(at("data")), expected == "data"); // made ready for the first save
        QVERIFY(!QFileInfo::exists(at("gone")));
    }
};

QTEST_GUILESS_MAIN(tst_DayFileLocation)
#include "tst_dayfilelocation.moc"
