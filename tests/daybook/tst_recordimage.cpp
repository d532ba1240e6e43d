#include "dayrecord.h"
#include "gbk.h"
#include "oledate.h"
#include "slotimage.h"

#include <QTest>
#include <array>

using namespace slotimage;

class tst_RecordImage : public QObject
{
    Q_OBJECT

private slots:
    void encodesAsTheDayFileHoldsIt_data();
    void encodesAsTheDayFileHoldsIt();
    void decodesForeignBytes_data();
    void decodesForeignBytes();
    void cutsTextWithoutSplittingCharacters();
    void reportsCharactersWithoutGbkForm();
    void convertsDates_data();
    void convertsDates();
    void rejectsDatesThatNameNoDay_data();
    void rejectsDatesThatNameNoDay();
};

static QByteArray gbkOf(const QString &s) { return *gbk::encode(s); }

void tst_RecordImage::encodesAsTheDayFileHoldsIt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("done");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ascii") << QStringLiteral("buy milk") << false
                           << slot(0, 2, "buy milk", false, Day41411);
    QTest::newRow("chinese, done") << QStringLiteral("中文") << true
                                   << slot(0, 2, QByteArray::fromHex("d6d0cec4"), true, Day41411);
    const QString exactly160(160, QLatin1Char('x'));
    QTest::newRow("160 single-byte") << exactly160 << false << slot(0, 2, QByteArray(160, 'x'), false, Day41411);
    const QString eightyOne(81, QChar(0x4E2D)); // 中 × 81: only 80 fit
    QByteArray eighty;
    for (int i = 0; i < 80; ++i)
        eighty += QByteArray::fromHex("d6d0");
    QTest::newRow("81 double-byte keeps 80") << eightyOne << false << slot(0, 2, eighty, false, Day41411);
    QTest::newRow("odd byte before a double-byte char at the edge")
        << QString(QLatin1Char('a')) + QString(80, QChar(0x4E2D)) << false
        << slot(0, 2, "a" + eighty.left(158), false, Day41411);
}

void tst_RecordImage::encodesAsTheDayFileHoldsIt()
{
    QFETCH(QString, text);
    QFETCH(bool, done);
    QFETCH(QByteArray, expected);

    DayRecord r;
    r.ThingNo = 2;
    r.ThingText = gbkOf(text);
    r.Done = done ? -1 : 0;
    r.ThingDate = 41411;
    QCOMPARE(recordimage::encode(r).toHex(' '), expected.toHex(' '));
}

void tst_RecordImage::decodesForeignBytes_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<DayRecord>("expected");
    QTest::addColumn<QString>("shown"); // what the view shows; saving it gives the same bytes

    QTest::newRow("spaces around the text are filler, inner spaces stay")
        << slot(7, 3, "  two  words  ", false, Day41411)
        << DayRecord{7, 3, "two  words", 0, 41411} << QStringLiteral("two  words");
    QTest::newRow("Done 1 counts as done and is kept until rewritten")
        << [] { QByteArray s = slot(0, 1, "x", false, Day41412); s[168] = 1; return s; }()
        << DayRecord{0, 1, "x", 1, 41412} << QStringLiteral("x");
    QTest::newRow("blank slot") << QByteArray(200, '\0') << DayRecord{0, 0, QByteArray(160, '\0'), 0, 0}
                                << QString(160, QChar(0));
    QTest::newRow("tabs are not trimmed") << slot(0, 1, "\tx\t", false, Day41411)
                                          << DayRecord{0, 1, "\tx\t", 0, 41411} << QStringLiteral("\tx\t");

    // Bytes that are no GBK character stay as stand-ins (U+F0000 plus the byte) beside real text.
    const auto standIns = [](std::initializer_list<char32_t> bytes) {
        QString s;
        for (char32_t b : bytes)
            s += QString::fromUcs4(std::array<char32_t, 1>{0xF0000 + b}.data(), 1);
        return s;
    };
    const QByteArray zhong = QByteArray::fromHex("d6d0");
    QTest::newRow("a lead byte before a byte that cannot follow it")
        << slot(0, 1, zhong + QByteArray::fromHex("817f") + zhong, false, Day41411)
        << DayRecord{0, 1, zhong + QByteArray::fromHex("817f") + zhong, 0, 41411}
        << QStringLiteral("中") + standIns({0x81}) + QChar(0x7F) + QStringLiteral("中");
    QTest::newRow("a lead byte at the end") << slot(0, 2, "ab" + QByteArray::fromHex("d6"), false, Day41411)
                                            << DayRecord{0, 2, "ab" + QByteArray::fromHex("d6"), 0, 41411}
                                            << QStringLiteral("ab") + standIns({0xD6});
    QTest::newRow("FF is a private character of code page 936")
        << slot(0, 3, QByteArray::fromHex("ff41"), false, Day41411)
        << DayRecord{0, 3, QByteArray::fromHex("ff41"), 0, 41411} << QString(QChar(0xF8F5)) + QStringLiteral("A");
    QTest::newRow("80 is the euro sign of code page 936")
        << slot(0, 4, QByteArray::fromHex("80"), false, Day41411)
        << DayRecord{0, 4, QByteArray::fromHex("80"), 0, 41411} << QStringLiteral("€");
}

void tst_RecordImage::decodesForeignBytes()
{
    QFETCH(QByteArray, image);
    QFETCH(DayRecord, expected);
    QFETCH(QString, shown);
    const DayRecord r = recordimage::decode(std::span<const char, 178>(image.constData(), 178));
    QCOMPARE(r, expected);
    QCOMPARE(gbk::decode(r.ThingText), shown);
    QCOMPARE(gbk::encode(shown), std::optional<QByteArray>(r.ThingText));
    QCOMPARE(r.isDone(), expected.Done != 0);
    // Written back, Done is normalised and the reserved field survives.
    const QByteArray again = recordimage::encode(r);
    QCOMPARE(again.mid(0, 4), image.mid(0, 4));
    QCOMPARE(again.mid(168, 2), r.isDone() ? QByteArray("\xFF\xFF", 2) : QByteArray(2, '\0'));
    QCOMPARE(again.mid(178), QByteArray(22, '\0'));
}

void tst_RecordImage::cutsTextWithoutSplittingCharacters()
{
    const QByteArray text = "abc" + QByteArray::fromHex("d6d0cec4");
    QCOMPARE(gbk::fit(text, 4), QByteArrayView("abc"));
    QCOMPARE(gbk::fit(text, 5), QByteArrayView(text).first(5));
    QCOMPARE(gbk::fit(text, 6), QByteArrayView(text).first(5));
    QCOMPARE(gbk::decode(QByteArray::fromHex("d0b4cfc2d2bbbcfed6d8d2aab5c4cac2")),
             QStringLiteral("写下一件重要的事"));
}

void tst_RecordImage::reportsCharactersWithoutGbkForm()
{
    QVERIFY(gbk::canEncode(QStringLiteral("写下 today ①")));
    QVERIFY(!gbk::encode(QStringLiteral("party 🎉")).has_value());
    QVERIFY(!gbk::canEncode(QString(QChar(0x0E01)))); // Thai: no GBK form
    // A refused character must not spoil the codec for what comes after it.
    QCOMPARE(gbk::encode(QStringLiteral("中")), std::optional<QByteArray>(QByteArray::fromHex("d6d0")));
    QCOMPARE(gbk::decode(QByteArray::fromHex("d6d0")), QStringLiteral("中"));
}

void tst_RecordImage::convertsDates_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QDate>("date");
    QTest::newRow("day zero") << 0.0 << QDate(1899, 12, 30);
    QTest::newRow("day one") << 1.0 << QDate(1899, 12, 31);
    QTest::newRow("before day zero") << -1.0 << QDate(1899, 12, 29);
    QTest::newRow("2013-05-17") << 41411.0 << QDate(2013, 5, 17);
    QTest::newRow("first day") << -657434.0 << QDate(100, 1, 1);
    QTest::newRow("last day") << 2958465.0 << QDate(9999, 12, 31);
}

void tst_RecordImage::convertsDates()
{
    QFETCH(double, value);
    QFETCH(QDate, date);
    QCOMPARE(oledate::toDate(value), std::optional<QDate>(date));
    QCOMPARE(oledate::fromDate(date), value);
}

void tst_RecordImage::rejectsDatesThatNameNoDay_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("time of day") << 41411.5;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("before year 100") << -657435.0;
    QTest::newRow("after year 9999") << 2958466.0;
    QTest::newRow("huge") << 1e300;
}

void tst_RecordImage::rejectsDatesThatNameNoDay()
{
    QFETCH(double, value);
    QVERIFY(!oledate::toDate(value));
    QVERIFY(!oledate::dayNumber(value));
}

QTEST_GUILESS_MAIN(tst_RecordImage)
#include "tst_recordimage.moc"
