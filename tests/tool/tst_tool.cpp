// tallyleaf-tool run as a process, as a user runs it: what it writes, what it refuses and with
// which exit status, and that it never changes a day file it should not.
#include "dayfile.h"
#include "dayfilelock.h"
#include "daythings.h"
#include "filebytes.h"
#include "fileops.h"
#include "gbk.h"
#include "oledate.h"
#include "rollbackjournal.h"
#include "slotimage.h"

#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <libical/ical.h>
#include <memory>

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
    QString err;
};

Run runTool(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral(TALLYLEAF_TOOL), arguments);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), QString::fromUtf8(p.readAllStandardError())};
}

struct Thing
{
    QDate day;
    int number;
    QString text;
    bool done;
};

// Saves each thing as the window saves its day.
void save(const QString &dayFile, const std::vector<Thing> &things)
{
    FileOps ops;
    DayFile file(ops, dayFile);
    QVERIFY(file.load().ok());
    for (const Thing &t : things) {
        DayThings day = thingsOfDay(file.table(), t.day);
        day[size_t(t.number - 1)] = {t.text, t.done};
        QVERIFY(file.saveDay(t.day, day).allOnDisk());
    }
}

std::vector<Thing> thingsIn(const QString &dayFile, const std::vector<QDate> &days)
{
    FileOps ops;
    DayFile file(ops, dayFile);
    const DayTable &table = file.table();
    if (!file.load().ok())
        return {};
    std::vector<Thing> things;
    for (QDate day : days) {
        const DayThings shown = thingsOfDay(table, day);
        for (int k = 0; k < 5; ++k) {
            if (!shown[size_t(k)].text.isEmpty() || shown[size_t(k)].done)
                things.push_back({day, k + 1, shown[size_t(k)].text, shown[size_t(k)].done});
        }
    }
    return things;
}

bool operator==(const Thing &a, const Thing &b)
{
    return a.day == b.day && a.number == b.number && a.text == b.text && a.done == b.done;
}

using Calendar = std::unique_ptr<icalcomponent, decltype(&icalcomponent_free)>;

const QDate Day1(2026, 12, 8);
const QDate Day2(2026, 12, 9);
const QByteArray Header = "date,number,done,text\r\n";

} // namespace

class tst_Tool : public QObject
{
    Q_OBJECT

private slots:
    void exportsAndImportsOneThing_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("done");
        QTest::addColumn<QByteArray>("csvRow");

        QTest::newRow("plain") << Day1 << 1 << "buy milk" << false << QByteArray("2026-12-08,1,no,buy milk");
        QTest::newRow("comma, semicolon, backslash")
            << Day1 << 2 << "a, b; c\\d" << true << QByteArray("2026-12-08,2,yes,\"a, b; c\\d\"");
        QTest::newRow("quotes doubled") << Day1 << 3 << "say \"hi\"" << false
                                        << QByteArray("2026-12-08,3,no,\"say \"\"hi\"\"\"");
        QTest::newRow("Chinese") << Day2 << 4 << "买菜，做饭" << true << QByteArray("2026-12-09,4,yes,买菜，做饭");
        const QString han = QString(80, QChar(0x6C49)); // 160 GBK bytes, 240 UTF-8 bytes: folded
        QTest::newRow("160 bytes of Chinese") << Day2 << 5 << han << false << "2026-12-09,5,no," + han.toUtf8();
        const QString escapes = QStringLiteral("a,b;").repeated(40); // 160 bytes, 240 once escaped
        QTest::newRow("160 bytes to escape") << Day1 << 1 << escapes << false
                                             << "2026-12-08,1,no,\"" + escapes.toUtf8() + '"';
        QTest::newRow("ticked without text") << Day1 << 5 << "" << true << QByteArray("2026-12-08,5,yes,");
        QTest::newRow("year 100, padded to four digits")
            << QDate(100, 1, 1) << 1 << "x" << false << QByteArray("0100-01-01,1,no,x");
    }

    void exportsAndImportsOneThing()
    {
        QFETCH(QDate, day);
        QFETCH(int, number);
        QFETCH(QString, text);
        QFETCH(bool, done);
        QFETCH(QByteArray, csvRow);
        QTemporaryDir dir;
        const QString dayFile = dir.filePath("things.dat");
        save(dayFile, {{day, number, text, done}});

        const Run csv = runTool({"export", "--format", "csv", "--day-file", dayFile});
        QCOMPARE(csv.status, 0);
        QCOMPARE(csv.out, Header + csvRow + "\r\n");

        const Run ics = runTool({"export", "--format", "ics", "--day-file", dayFile});
        QCOMPARE(ics.status, 0);
        QVERIFY(ics.out.endsWith("END:VCALENDAR\r\n"));
        QStringDecoder utf8(QStringDecoder::Utf8);
        for (const QByteArray &line : ics.out.chopped(1).split('\n')) {
            QVERIFY2(line.endsWith('\r') && line.size() - 1 <= 75, line.constData());
            (void)utf8.decode(line); // each folded line is whole UTF-8: no character is split
            QVERIFY2(!utf8.hasError(), line.constData());
        }
        const Calendar calendar(icalparser_parse_string(ics.out.constData()), icalcomponent_free);
        QVERIFY(calendar);
        QCOMPARE(icalcomponent_count_errors(calendar.get()), 0);
        QVERIFY(icalcomponent_get_first_property(calendar.get(), ICAL_VERSION_PROPERTY));
        QVERIFY(icalcomponent_get_first_property(calendar.get(), ICAL_PRODID_PROPERTY));
        icalcomponent *todo = icalcomponent_get_first_component(calendar.get(), ICAL_VTODO_COMPONENT);
        QVERIFY(todo);
        QCOMPARE(QString::fromUtf8(icalcomponent_get_summary(todo)), text);
        const icaltimetype due = icalcomponent_get_due(todo);
        QVERIFY(due.is_date);
        QCOMPARE(QDate(due.year, due.month, due.day), day);
        QCOMPARE(icalcomponent_get_status(todo), done ? ICAL_STATUS_COMPLETED : ICAL_STATUS_NEEDSACTION);
        icalproperty *percent = icalcomponent_get_first_property(todo, ICAL_PERCENTCOMPLETE_PROPERTY);
        QCOMPARE(percent != nullptr, done); // some clients show this alone
        if (percent)
            QCOMPARE(icalproperty_get_percentcomplete(percent), 100);
        QVERIFY(icalcomponent_get_first_property(todo, ICAL_DTSTAMP_PROPERTY));
        QVERIFY(!icalcomponent_get_first_property(todo, ICAL_PRIORITY_PROPERTY));
        QVERIFY(!icalcomponent_get_next_component(calendar.get(), ICAL_VTODO_COMPONENT));

        const QString csvFile = dir.filePath("in.csv");
        QVERIFY(writeFile(csvFile, csv.out));
        const QString copy = dir.filePath("copy.dat");
        QCOMPARE(runTool({"import", "--format", "csv", "--day-file", copy, csvFile}).status, 0);
        QCOMPARE(thingsIn(copy, {day}), (std::vector<Thing>{{day, number, text, done}}));
    }

    void roundTripKeepsEveryThing()
    {
        QTemporaryDir dir;
        const QString dayFile = dir.filePath("things.dat");
        const std::vector<Thing> things = {{Day1, 1, "一", true}, {Day1, 3, "three", false}, {Day2, 2, "a,\"b\"", false},
                                           {Day2, 5, "五", true}};
        save(dayFile, things);

        const Run excel = runTool({"export", "--format", "csv", "--excel", "--day-file", dayFile});
        QCOMPARE(excel.status, 0);
        QVERIFY(excel.out.startsWith("\xEF\xBB\xBF" + Header));
        const QString csvFile = dir.filePath("all.csv");
        QVERIFY(writeFile(csvFile, excel.out));
        const QString copy = dir.filePath("copy.dat");
        QVERIFY(writeFile(copy, {})); // an empty day file
        QCOMPARE(runTool({"import", "--format", "csv", "--day-file", copy, csvFile}).status, 0);
        QCOMPARE(thingsIn(copy, {Day1, Day2}), things);
        QCOMPARE(runTool({"export", "--format", "csv", "--day-file", copy}).out, excel.out.sliced(3));

        // Importing the same rows again changes nothing, so writes nothing.
        const QByteArray before = readFile(copy);
        QCOMPARE(runTool({"import", "--format", "csv", "--day-file", copy, csvFile}).status, 0);
        QCOMPARE(readFile(copy), before);

        const Run oneDay =
            runTool({"export", "--format", "csv", "--from", "2026-12-09", "--to", "2026-12-09", "--day-file", dayFile});
        QCOMPARE(oneDay.out, Header + "2026-12-09,2,no,\"a,\"\"b\"\"\"\r\n2026-12-09,5,yes,五\r\n");
    }

    void importIsAllOrNothing_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("problem");

        const QByteArray good = Header + "2026-12-08,1,no,new\r\n";
        QTest::newRow("no GBK form") << good + "2026-12-09,1,no,ก\r\n" << "row 3: the text has characters without a GBK form";
        QTest::newRow("U+FFFD, as export writes foreign bytes")
            << good + "2026-12-09,1,no,a\xEF\xBF\xBD\r\n" << "row 3: the text has characters without a GBK form";
        QTest::newRow("a stand-in for a foreign byte")
            << good + "2026-12-09,1,no,a" + QChar::fromUcs4(gbk::standInFor(0x81)).operator QStringView().toUtf8() + "\r\n"
            << "row 3: the text has characters without a GBK form";
        QTest::newRow("number 6") << good + "2026-12-09,6,no,x\r\n" << "row 3: the number \"6\" is not 1 to 5";
        QTest::newRow("number 0") << good + "2026-12-09,0,no,x\r\n" << "row 3: the number \"0\"";
        QTest::newRow("no such day") << good + "2026-02-30,1,no,x\r\n" << "row 3: the date \"2026-02-30\" is not a day";
        QTest::newRow("before the first day") << good + "0099-12-31,1,no,x\r\n" << "row 3: the date";
        QTest::newRow("no way of writing done") << good + "2026-12-09,1,maybe,x\r\n"
                                                << "row 3: done is \"maybe\", which is no way of writing done (yes/no, 是/否";
        QByteArray throughout = good;
        for (int day = 10; day < 18; ++day)
            throughout += "2026-12-" + QByteArray::number(day) + ",1,ja,x\r\n";
        QTest::newRow("a fault throughout the file: one line, the first rows named")
            << throughout << "row 3: done is \"ja\", which is no way of writing done (yes/no, 是/否, √ or empty, true/false, "
                             "1/0, 已完成/未完成); likewise 7 more rows: 4, 5, 6, 7, 8, …\n";
        QTest::newRow("same thing twice") << good + "\r\n2026-12-08,1,yes,again\r\n"
                                          << "row 4: thing 1 of 2026-12-08 is also on row 2";
        QTest::newRow("three fields") << good + "2026-12-09,1,no\r\n" << "row 3: 3 fields instead of 4";
        QTest::newRow("line break") << good + "2026-12-09,1,no,\"a\r\nb\"\r\n" << "row 3: the text has a line break";
        QTest::newRow("quote not closed") << good + "2026-12-09,1,no,\"abc\r\n" << "row 3: a quoted field is not closed";
        QTest::newRow("text after a quote") << good + "2026-12-09,1,no,\"a\"b\r\n" << "row 3: text after the closing";
        QTest::newRow("neither UTF-8 nor GBK") << good + "2026-12-09,1,no,\x81\x20\r\n"
                                               << "line 3: the text is neither UTF-8 nor GBK";
        QTest::newRow("no header") << QByteArray("2026-12-08,1,no,new\r\n") << "row 1: the first row must be the header";
    }

    void importIsAllOrNothing()
    {
        QFETCH(QByteArray, csv);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString dayFile = dir.filePath("things.dat");
        save(dayFile, {{Day1, 1, "old", false}});
        const QByteArray before = readFile(dayFile);
        const QByteArray journalBefore = readFile(rollbackjournal::pathFor(dayFile));
        const QString csvFile = dir.filePath("in.csv");
        QVERIFY(writeFile(csvFile, csv));

        const Run run = runTool({"import", "--format", "csv", "--day-file", dayFile, csvFile});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(csvFile + ": " + problem), qPrintable(run.err));
        QCOMPARE(readFile(dayFile), before);
        QCOMPARE(readFile(rollbackjournal::pathFor(dayFile)), journalBefore); // no save began
    }

    void importReadsWhatSpreadsheetsSave_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("said");
        // As Excel saves them: CRLF, quoted fields, an empty last line.
        const QString sheet = "date,number,done,text\r\n2026-12-08,1,no,\"买菜，做饭\"\r\n2026-12-08,2,yes,写报告\r\n\r\n";
        QTest::newRow("GBK, as Excel's CSV on a Chinese Windows") << QByteArray(QStringEncoder("GBK").encode(sheet))
                                                                   << QStringList{} << "read as GBK";
        QString tabs = sheet;
        tabs.replace(",", "\t").replace("买菜\t做饭", "买菜，做饭");
        QStringEncoder utf16(QStringEncoder::Utf16LE);
        QTest::newRow("UTF-16 with a byte-order mark, tabs: Excel's Unicode text")
            << QByteArray("\xFF\xFE") + QByteArray(utf16.encode(tabs)) << QStringList{}
            << "read as UTF-16 (byte-order mark)";
        QTest::newRow("UTF-8 with a byte-order mark") << "\xEF\xBB\xBF" + sheet.toUtf8() << QStringList{}
                                                      << "read as UTF-8 (byte-order mark)";
        QTest::newRow("GBK named") << QByteArray(QStringEncoder("GBK").encode(sheet)) << QStringList{"--encoding", "gbk"}
                                   << "read as GBK";
        // Done as spreadsheets and people write it.
        const auto doneAs = [&](const char *no, const char *yes) {
            return QString(sheet).replace(",no,", QString(",%1,").arg(no)).replace(",yes,", QString(",%1,").arg(yes)).toUtf8();
        };
        QTest::newRow("是 and 否") << doneAs("否", "是") << QStringList{} << "read as UTF-8";
        QTest::newRow("TRUE and false, any case, spaces around") << doneAs(" false ", "TRUE") << QStringList{} << "read as UTF-8";
        QTest::newRow("1 and 0") << doneAs("0", "1") << QStringList{} << "read as UTF-8";
        QTest::newRow("已完成 and 未完成") << doneAs("未完成", "已完成") << QStringList{} << "read as UTF-8";
        QTest::newRow("√ and empty, as the search window marks done") << doneAs("", "√") << QStringList{} << "read as UTF-8";
    }

    void importReadsWhatSpreadsheetsSave()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, options);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString dayFile = dir.filePath("things.dat");
        const QString csvFile = dir.filePath("sheet.csv");
        QVERIFY(writeFile(csvFile, file));
        const Run run = runTool(QStringList{"import", "--format", "csv"} + options + QStringList{"--day-file", dayFile, csvFile});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.contains(csvFile + ": " + said), qPrintable(run.err));
        QCOMPARE(thingsIn(dayFile, {Day1}), (std::vector<Thing>{{Day1, 1, "买菜，做饭", false}, {Day1, 2, "写报告", true}}));

        // Told the wrong encoding, nothing is imported, and the tool says how to fix it.
        if (said == "read as GBK") {
            const Run wrong = runTool({"import", "--format", "csv", "--encoding", "utf-8", "--day-file", dayFile, csvFile});
            QCOMPARE(wrong.status, 2);
            QVERIFY2(wrong.err.contains("nothing imported: " + csvFile + ": line 2: the text is not UTF-8"),
                     qPrintable(wrong.err));
            QVERIFY(wrong.err.contains("--encoding"));
        }
    }

    void foreignBytesExportAsReplacementAndSurviveAnImport()
    {
        QTemporaryDir dir;
        const QString dayFile = dir.filePath("things.dat");
        const double day = oledate::fromDate(Day1);
        QVERIFY(writeFile(dayFile, slotimage::slot(0, 1, "old", false, day) + slotimage::slot(0, 2, "a\x81", false, day)));
        const QByteArray foreignSlot = readFile(dayFile).sliced(200);

        const Run csv = runTool({"export", "--format", "csv", "--day-file", dayFile});
        QCOMPARE(csv.status, 0);
        QCOMPARE(csv.out, Header + "2026-12-08,1,no,old\r\n2026-12-08,2,no,a\xEF\xBF\xBD\r\n");
        QVERIFY2(csv.err.contains(dayFile + ": thing 2 of 2026-12-08 holds bytes that are no GBK character"),
                 qPrintable(csv.err));

        // Thing 1 of the same day changes; the foreign byte of thing 2 is written back as it was.
        const QString csvFile = dir.filePath("in.csv");
        QVERIFY(writeFile(csvFile, Header + "2026-12-08,1,yes,new\r\n"));
        QCOMPARE(runTool({"import", "--format", "csv", "--day-file", dayFile, csvFile}).status, 0);
        QCOMPARE(readFile(dayFile).sliced(200, 200), foreignSlot);
        QCOMPARE(thingsIn(dayFile, {Day1}).front(), (Thing{Day1, 1, "new", true}));
    }

    void importWaitsWhileTheProgramHoldsTheDayFile()
    {
        QTemporaryDir dir;
        const QString dayFile = dir.filePath("things.dat");
        save(dayFile, {{Day1, 1, "old", false}});
        const QByteArray before = readFile(dayFile);
        const QString csvFile = dir.filePath("in.csv");
        QVERIFY(writeFile(csvFile, Header + "2026-12-08,1,yes,new\r\n"));
        const QStringList import = {"import", "--format", "csv", "--day-file", dayFile, csvFile};

        FileOps ops;
        DayFileLock lock(ops, dayFile);
        QCOMPARE(lock.acquire(), DayFileLock::Status::Locked);
        const Run refused = runTool(import);
        QCOMPARE(refused.status, 3);
        QVERIFY2(refused.err.contains(dayFile + " is in use by Tallyleaf"), qPrintable(refused.err));
        QCOMPARE(readFile(dayFile), before);

        lock.release();
        QCOMPARE(runTool(import).status, 0);
        QCOMPARE(thingsIn(dayFile, {Day1}), (std::vector<Thing>{{Day1, 1, "new", true}}));
    }

    void exportReadsAsRecoveryWouldWithoutWriting_data()
    {
        QTest::addColumn<bool>("torn");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("whole journal: the save is undone") << false << Header + "2026-12-08,1,no,old\r\n";
        QTest::newRow("torn journal: the file as it is")
            << true << Header + "2026-12-08,1,yes,new\r\n2026-12-09,1,no,added\r\n";
    }

    void exportReadsAsRecoveryWouldWithoutWriting()
    {
        QFETCH(bool, torn);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString dayFile = dir.filePath("things.dat");
        save(dayFile, {{Day1, 1, "old", false}});
        const QByteArray old = readFile(dayFile);
        // A power cut during a second save, which rewrote the first day and appended another:
        // the tail of the appended day never reached the disk.
        save(dayFile, {{Day1, 1, "new", true}, {Day2, 1, "added", false}});
        const QByteArray saved = readFile(dayFile);
        rollbackjournal::Journal j{old.size(), saved.size(), {{0, old, saved.left(old.size())}, {old.size(), {}, saved.mid(old.size())}}};
        QByteArray journal = rollbackjournal::encode(j);
        if (torn)
            journal.chop(1);
        const QString journalFile = rollbackjournal::pathFor(dayFile);
        QVERIFY(writeFile(journalFile, journal));
        const QByteArray crashed = saved.left(old.size() + 500);
        QVERIFY(writeFile(dayFile, crashed));

        const Run run = runTool({"export", "--format", "csv", "--day-file", dayFile});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, expected);
        QCOMPARE(run.err.contains("a save that did not finish is read as undone"), !torn);
        QCOMPARE(readFile(dayFile), crashed);
        QCOMPARE(readFile(journalFile), journal);

        // An import undoes it on disk, and says so.
        const QString csvFile = dir.filePath("in.csv");
        QVERIFY(writeFile(csvFile, Header + "2026-12-10,1,no,later\r\n"));
        const Run import = runTool({"import", "--format", "csv", "--day-file", dayFile, csvFile});
        QCOMPARE(import.status, 0);
        QCOMPARE(import.err.contains("a save that did not finish was undone"), !torn);
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        const QString csv = "%dir/in.csv";
        const QString dayFile = "%dir/things.dat";
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("no command") << QStringList{} << 1;
        QTest::newRow("unknown command") << QStringList{"print"} << 1;
        QTest::newRow("export without a format") << QStringList{"export", "--day-file", dayFile} << 1;
        QTest::newRow("export as xml") << QStringList{"export", "--format", "xml"} << 1;
        QTest::newRow("import from ics") << QStringList{"import", "--format", "ics", csv} << 1;
        QTest::newRow("import with an export option")
            << QStringList{"import", "--format", "csv", "--output", "x", csv} << 1;
        QTest::newRow("no such month")
            << QStringList{"export", "--format", "csv", "--from", "2026-13-01", "--day-file", dayFile} << 1;
        QTest::newRow("from after to") << QStringList{"export", "--format", "csv", "--from", "2026-12-09", "--to",
                                                      "2026-12-08", "--day-file", dayFile}
                                       << 1;
        QTest::newRow("no day file: not created")
            << QStringList{"export", "--format", "ics", "--day-file", "%dir/none.dat"} << 2;
        QTest::newRow("no CSV file")
            << QStringList{"import", "--format", "csv", "--day-file", dayFile, "%dir/none.csv"} << 2;
        QTest::newRow("output over the day file")
            << QStringList{"export", "--format", "csv", "--output", dayFile, "--day-file", "%dir/./things.dat"} << 1;
        QTest::newRow("output into a missing folder")
            << QStringList{"export", "--format", "csv", "--output", "%dir/none/out.csv", "--day-file", dayFile} << 4;
        QTest::newRow("day file in a missing folder")
            << QStringList{"import", "--format", "csv", "--day-file", "%dir/none/things.dat", csv} << 4;
    }

    void exitStatuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QTemporaryDir dir;
        save(dir.filePath("things.dat"), {{Day1, 1, "old", false}});
        QVERIFY(writeFile(dir.filePath("in.csv"), Header + "2026-12-08,1,yes,new\r\n"));
        arguments.replaceInStrings("%dir", dir.path());

        const Run run = runTool(arguments);
        QCOMPARE(run.status, status);
        QCOMPARE(run.err.isEmpty(), status == 0);
        QVERIFY(!QFile::exists(dir.filePath("none.dat")));
    }
};

QTEST_GUILESS_MAIN(tst_Tool)
#include "tst_tool.moc"
