#include "dayfile.h"
#include "dayfilegen.h"
#include "fileops.h"
#include "dayrecord.h"
#include "daytable.h"
#include "gbk.h"
#include "oledate.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// The benchmarks' day files: what they hold must be what a long-used day book holds, and the
// same arguments must give the same file, or two runs would not measure the same thing.
class tst_DayFileGen : public QObject
{
    Q_OBJECT

private slots:
    void sameSeedSameBytes();
    void otherSeedOtherContent();
    void writesTheRecordsAskedFor();
    void consecutiveDaysEndingOnTheLastDay();
    void positionsOneToFiveAndAShortLastDay();
    void mixesDoneAndChineseAndAscii();
    void emptyFile();
    void refusesWhatCannotBeWritten();

private:
    QByteArray generate(qint64 records, quint64 seed = 7, QDate lastDay = LastDay);
    static std::vector<DayRecord> records(const QByteArray &file);

    static inline const QDate LastDay = QDate(2013, 5, 17);
    QTemporaryDir m_dir;
    int m_files = 0;
};

QByteArray tst_DayFileGen::generate(qint64 records, quint64 seed, QDate lastDay)
{
    const QString path = m_dir.filePath(QStringLiteral("things-%1.dat").arg(++m_files));
    const auto result = dayfilegen::writeDayFile(path, records, seed, lastDay);
    if (!result.ok)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<DayRecord> tst_DayFileGen::records(const QByteArray &file)
{
    std::vector<DayRecord> out;
    for (qsizetype at = 0; at + recordimage::SlotLength <= file.size(); at += recordimage::SlotLength)
        out.push_back(recordimage::decode(std::span<const char, recordimage::ImageLength>(file.constData() + at,
                                                                                           recordimage::ImageLength)));
    return out;
}

void tst_DayFileGen::sameSeedSameBytes()
{
    const QByteArray first = generate(2003, 42);
    QCOMPARE(first.size(), 2003 * 200);
    QCOMPARE(generate(2003, 42), first);
    // A shorter file starting on the same day is the start of the longer one: 401 days against 200.
    QCOMPARE(generate(1000, 42, LastDay.addDays(-201)), first.left(1000 * 200));
}

void tst_DayFileGen::otherSeedOtherContent()
{
    const auto a = records(generate(500, 1));
    const auto b = records(generate(500, 2));
    QCOMPARE(a.size(), b.size());
    int differentTexts = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        QCOMPARE(b[i].ThingDate, a[i].ThingDate); // the days depend on the count alone
        QCOMPARE(b[i].ThingNo, a[i].ThingNo);
        differentTexts += a[i].ThingText != b[i].ThingText;
    }
    QVERIFY2(differentTexts > 250, qPrintable(QString::number(differentTexts)));
}

void tst_DayFileGen::writesTheRecordsAskedFor()
{
    const QString path = m_dir.filePath(QStringLiteral("loaded.dat"));
    const auto result = dayfilegen::writeDayFile(path, 32767, 3, LastDay);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.records, 32767);
    QCOMPARE(QFileInfo(path).size(), 32767 * 200);

    FileOps ops;
    DayFile file(ops, path);
    const DayTable &table = file.table();
    const LoadReport report = file.load();
    QVERIFY2(report.ok(), qPrintable(report.problem.describe()));
    QCOMPARE(report.recordsRead, 32767);
    QCOMPARE(table.DayCount(), 32767);
    // The table finds each day's five things, and today's two of a day cut short.
    QCOMPARE(table.recordsOfDay(oledate::fromDate(LastDay)).size(), size_t(2));
    QCOMPARE(table.recordsOfDay(oledate::fromDate(LastDay.addDays(-1))).size(), size_t(5));
}

void tst_DayFileGen::consecutiveDaysEndingOnTheLastDay()
{
    const auto rs = records(generate(1500));
    QCOMPARE(rs.size(), size_t(1500));
    const double first = oledate::fromDate(LastDay) - 299;
    QCOMPARE(dayfilegen::firstDay(1500, LastDay), first);
    for (size_t k = 0; k < rs.size(); ++k)
        QCOMPARE(rs[k].ThingDate, first + double(k / 5));
    QCOMPARE(*oledate::toDate(rs.back().ThingDate), LastDay);
}

void tst_DayFileGen::positionsOneToFiveAndAShortLastDay()
{
    const auto rs = records(generate(13));
    QCOMPARE(rs.size(), size_t(13));
    const qint32 expected[13] = {1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2, 3};
    for (size_t k = 0; k < rs.size(); ++k)
        QCOMPARE(rs[k].ThingNo, expected[k]);
    // Three days, the last of them holding only positions 1 to 3.
    QCOMPARE(*oledate::toDate(rs.front().ThingDate), LastDay.addDays(-2));
    QCOMPARE(*oledate::toDate(rs[10].ThingDate), LastDay);
}

void tst_DayFileGen::mixesDoneAndChineseAndAscii()
{
    const auto rs = records(generate(5000));
    int done = 0, empty = 0, chinese = 0, ascii = 0, mixed = 0;
    for (const DayRecord &r : rs) {
        QVERIFY(r.Done == 0 || r.Done == -1);
        done += r.isDone();
        const QString text = gbk::decode(r.ThingText);
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
        QVERIFY2(text.size() <= 30, qPrintable(text));
        QVERIFY(r.ThingText.size() <= recordimage::ThingTextBytes);
        if (text.isEmpty()) {
            ++empty;
            continue;
        }
        bool hasAscii = false, hasChinese = false;
        for (QChar c : text)
            (c.unicode() < 0x80 ? hasAscii : hasChinese) = true;
        chinese += hasChinese && !hasAscii;
        ascii += hasAscii && !hasChinese;
        mixed += hasAscii && hasChinese;
    }
    // About 40 % done; about 15 % empty; the rest Chinese, ASCII and both in one text.
    QVERIFY2(done > 1700 && done < 2300, qPrintable(QString::number(done)));
    QVERIFY2(empty > 500 && empty < 1000, qPrintable(QString::number(empty)));
    QVERIFY2(chinese > 1500, qPrintable(QString::number(chinese)));
    QVERIFY2(ascii > 700, qPrintable(QString::number(ascii)));
    QVERIFY2(mixed > 300, qPrintable(QString::number(mixed)));
}

void tst_DayFileGen::emptyFile()
{
    const QString path = m_dir.filePath(QStringLiteral("empty.dat"));
    QFile stale(path);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("old bytes");
    stale.close();
    const auto result = dayfilegen::writeDayFile(path, 0, 1, LastDay);
    QVERIFY(result.ok);
    QCOMPARE(result.records, 0);
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(QFileInfo(path).size(), 0); // replaced, not appended to
}

void tst_DayFileGen::refusesWhatCannotBeWritten()
{
    QVERIFY(!dayfilegen::writeDayFile(m_dir.filePath(QStringLiteral("neg.dat")), -1, 1, LastDay).ok);
    // Ten days ending on 2 January 100 would start before the first date the file can hold.
    const auto early = dayfilegen::writeDayFile(m_dir.filePath(QStringLiteral("early.dat")), 50, 1, QDate(100, 1, 2));
    QVERIFY(!early.ok);
    QVERIFY(!early.error.isEmpty());
    const auto nowhere = dayfilegen::writeDayFile(m_dir.filePath(QStringLiteral("no/such/dir/x.dat")), 5, 1, LastDay);
    QVERIFY(!nowhere.ok);
    QVERIFY(!nowhere.error.isEmpty());
}

QTEST_GUILESS_MAIN(tst_DayFileGen)
#include "tst_dayfilegen.moc"
