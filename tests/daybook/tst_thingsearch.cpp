#include "gbk.h"
#include "oledate.h"
#include "thingsearch.h"

#include <QTest>

// Matching is done on the stored GBK bytes; every expectation here is written out by hand.
class tst_ThingSearch : public QObject
{
    Q_OBJECT

private slots:
    void matching_data();
    void matching();
    void results_data();
    void results();
    void narrowingFindsWhatAFreshSearchFinds();
    void theShownDayIsSearchedAsOnScreen();
    void aLargeTableGivesWhatEachRecordGives();
};

// The text with every match in brackets, as the search window emphasises it.
static QString bracketed(const ThingQuery::Emphasis &e)
{
    QString out = e.text;
    for (auto it = e.spans.rbegin(); it != e.spans.rend(); ++it)
        out.insert(it->first + it->second, u']').insert(it->first, u'[');
    return out;
}

void tst_ThingSearch::matching_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("emphasised"); // the text when nothing matches

    QTest::newRow("chinese") << "给妈妈打电话" << "打电话" << "给妈妈[打电话]";
    QTest::newRow("chinese absent") << "给妈妈打电话" << "打球" << "给妈妈打电话";
    QTest::newRow("every match") << "买菜，买菜" << "买菜" << "[买菜]，[买菜]";
    QTest::newRow("latin case") << "email ALICE" << "Alice" << "email [ALICE]";
    QTest::newRow("full-width text") << "复习ＣＥＴ６级" << "cet6" << "复习[ＣＥＴ６]级";
    QTest::newRow("full-width digits query") << "meeting 10:30" << "１０:" << "meeting [10:]30";
    QTest::newRow("full-width colon folds") << "meeting 10:30" << "10：" << "meeting [10:]30";
    QTest::newRow("full-width punctuation in the text") << "复习ＣＥＴ－６级" << "cet-6" << "复习[ＣＥＴ－６]级";
    QTest::newRow("words in any order") << "email the report" << "report email" << "[email] the [report]";
    QTest::newRow("every word must be there") << "email the report" << "report fax" << "email the report";
    QTest::newRow("a quoted phrase as written") << "email the report" << "\"the report\"" << "email [the report]";
    QTest::newRow("a quoted phrase in another order") << "email the report" << "“report the”" << "email the report";
    QTest::newRow("ideographic space in a phrase") << "buy milk" << "“buy\u3000milk”" << "[buy milk]";
    QTest::newRow("full-width letters query") << "Qt 6 port" << "ｑＴ" << "[Qt] 6 port";
    QTest::newRow("query spaces trimmed") << "buy milk" << " \tmilk　" << "buy [milk]";
    QTest::newRow("inner space kept") << "buy milk" << "buymilk" << "buy milk";
    QTest::newRow("empty thing") << "" << "a" << "";
    QTest::newRow("blank query") << "买菜" << " 　 " << "买菜";
    QTest::newRow("trail byte is no letter") << "乤" << "a" << "乤"; // 乤 is 0x81 0x61
    QTest::newRow("letter after such a trail") << "乤a" << "A" << "乤[a]";
    QTest::newRow("query without GBK form") << "买菜" << "买菜😀" << "买菜";
}

void tst_ThingSearch::matching()
{
    QFETCH(QString, text);
    QFETCH(QString, query);
    QFETCH(QString, emphasised);
    const QByteArray bytes = *gbk::encode(text);
    const ThingQuery pattern(query);
    QCOMPARE(bracketed(pattern.emphasise(bytes)), emphasised);
    QCOMPARE(pattern.matches(bytes), emphasised != text);
}

// Ten days of things, 1 to 10 May 2013, some done, and records the day view cannot show.
static DayTable sampleTable()
{
    DayTable t;
    const auto add = [&t](QDate day, qint32 no, const QString &text, bool done, double fraction = 0) {
        DayRecord r;
        r.ThingNo = no;
        r.ThingDate = oledate::fromDate(day) + fraction;
        r.ThingText = *gbk::encode(text);
        r.Done = done ? -1 : 0;
        t.append(r);
    };
    for (int d = 1; d <= 10; ++d) {
        add(QDate(2013, 5, d), 1, QStringLiteral("买菜"), d % 2 == 0);
        add(QDate(2013, 5, d), 2, QStringLiteral("跑步买水"), false);
    }
    add(QDate(2013, 4, 30), 3, QStringLiteral("买菜和水果"), true); // saved late, an older day
    add(QDate(2013, 5, 11), 0, QStringLiteral("买菜"), false);     // no position
    add(QDate(2013, 5, 11), 6, QStringLiteral("买菜"), false);     // no box for it
    add(QDate(2013, 5, 11), 1, QStringLiteral("买菜"), false, 0.5); // part of a day
    add(QDate(2013, 5, 11), 4, QStringLiteral("乤"), false);           // 0x81 0x61: no "a" in it
    add(QDate(2013, 5, 12), 2, QStringLiteral("旧的买菜"), false);      // another program's duplicate...
    add(QDate(2013, 5, 12), 2, QStringLiteral("跑步"), false);          // ...of the thing the view shows
    return t;
}

void tst_ThingSearch::results_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("done");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<int>("limit");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QStringList>("shown"); // day and position

    const QDate none;
    const auto all = int(DoneFilter::All);
    QTest::newRow("newest day first, then position") << "买" << all << none << none << 3 << qint64(21)
                                                     << QStringList{"10/1", "10/2", "9/1"};
    QTest::newRow("D3: a duplicate the view does not show is not found") << "旧的" << all << none << none << 5
                                                                         << qint64(0) << QStringList{};
    QTest::newRow("range inclusive, open end") << "买菜" << all << QDate(2013, 5, 8) << none << 5 << qint64(3)
                                               << QStringList{"10/1", "9/1", "8/1"};
    QTest::newRow("done only") << "买菜" << int(DoneFilter::Done) << none << QDate(2013, 5, 4) << 5 << qint64(3)
                               << QStringList{"4/1", "2/1", "30/3"};
    QTest::newRow("not done only") << "菜" << int(DoneFilter::NotDone) << QDate(2013, 5, 5) << none << 5
                                   << qint64(3) << QStringList{"9/1", "7/1", "5/1"};
    QTest::newRow("empty range") << "买菜" << all << QDate(2013, 5, 9) << QDate(2013, 5, 8) << 5 << qint64(0)
                                 << QStringList{};
    QTest::newRow("trail byte is no letter") << "A" << all << none << none << 5 << qint64(0) << QStringList{};
    QTest::newRow("count without rows") << "跑步" << all << none << none << 0 << qint64(11) << QStringList{};
}

void tst_ThingSearch::results()
{
    QFETCH(QString, query);
    QFETCH(int, done);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(int, limit);
    QFETCH(qint64, total);
    QFETCH(QStringList, shown);

    const DayTable table = sampleTable();
    ThingSearch search(table);
    search.setQuery(query);
    search.searchAll();
    const ThingSearch::Page page = search.results(SearchFilter{DoneFilter(done), from, to}, limit);
    QCOMPARE(page.total, total);
    QStringList got;
    for (const ThingSearch::Hit &hit : page.hits)
        got << QStringLiteral("%1/%2").arg(hit.day.day()).arg(hit.thingNo);
    QCOMPARE(got, shown);
}

// The shown day is searched as the main window shows it: what is typed there and not yet saved
// is found, what was saved and is no longer on screen is not.
void tst_ThingSearch::theShownDayIsSearchedAsOnScreen()
{
    const DayTable table = sampleTable();
    ThingSearch search(table);
    DayThings onScreen;
    onScreen[1] = {QStringLiteral("测试未保存ABC"), true}; // 10 May's thing 2 was "跑步买水"
    search.setShownDay(QDate(2013, 5, 10), onScreen);
    search.setQuery(u"未保存");
    search.searchAll();
    ThingSearch::Page page = search.results({}, 5);
    QCOMPARE(page.total, qint64(1));
    QCOMPARE(page.hits.front().record, 0);
    QCOMPARE(page.hits.front().thingNo, 2);
    QCOMPARE(search.results({DoneFilter::NotDone, {}, {}}, 5).total, qint64(0));
    search.setQuery(u"跑步买水");
    search.searchAll();
    page = search.results({}, 20);
    QCOMPARE(page.total, qint64(9)); // the ten days but the shown one
    QVERIFY(std::none_of(page.hits.begin(), page.hits.end(), [](const auto &h) { return h.day == QDate(2013, 5, 10); }));
}

// Two threads scan a large table, and the newest results are read from the end only as far as
// needed: both must give what matching each record on its own gives.
void tst_ThingSearch::aLargeTableGivesWhatEachRecordGives()
{
    DayTable table;
    const QStringList texts{QStringLiteral("买菜"), QStringLiteral("email the report"), QStringLiteral("跑步"),
                            QStringLiteral("ＲＥＰＯＲＴ review"), QStringLiteral("")};
    for (qint32 i = 0; i < 45'000; ++i) {
        DayRecord r;
        r.ThingNo = i % 5 + 1;
        // Mostly in date order, with every 97th record an older day saved late.
        r.ThingDate = 40000 + i / 5 - (i % 97 == 0 ? 3000 : 0);
        r.ThingText = *gbk::encode(texts[(i * 7) % texts.size()]);
        table.append(r);
    }
    for (const QString &query : {QStringLiteral("report"), QStringLiteral("菜"), QStringLiteral("review report")}) {
        ThingSearch search(table);
        search.setQuery(query);
        // The newest results are known before the search is complete, and do not change after.
        search.searchUntilSettled({}, 500);
        const ThingSearch::Page early = search.results({}, 500);
        QVERIFY(early.settled);
        if (query == QStringLiteral("report"))
            QVERIFY(!early.complete); // shown before the older records were searched
        search.searchAll();
        const ThingQuery matcher(query);
        std::vector<std::pair<double, qint32>> expected; // (date, -record): newest first
        for (qint32 i = 1; i <= table.DayCount(); ++i) {
            if (table.isCurrent(i) && matcher.matches(table.text(i)))
                expected.emplace_back(table.thingDate(i), i);
        }
        std::sort(expected.begin(), expected.end(), [&](const auto &a, const auto &b) {
            if (a.first != b.first)
                return a.first > b.first;
            if (table.thingNo(a.second) != table.thingNo(b.second))
                return table.thingNo(a.second) < table.thingNo(b.second);
            return a.second > b.second;
        });
        const ThingSearch::Page page = search.results({}, 500);
        QCOMPARE(page.total, qint64(expected.size()));
        QCOMPARE(page.hits.size(), std::min<size_t>(500, expected.size()));
        for (size_t k = 0; k < page.hits.size(); ++k) {
            QCOMPARE(page.hits[k].record, expected[k].second);
            QCOMPARE(early.hits[k].record, expected[k].second);
        }
        // Narrowed from a search that had not got to the oldest records: the same.
        ThingSearch typed(table);
        typed.setQuery(query.left(2));
        typed.searchUntilSettled({}, 500);
        typed.setQuery(query);
        typed.searchAll();
        const ThingSearch::Page narrowed = typed.results({}, 500);
        QCOMPARE(narrowed.total, page.total);
        for (size_t k = 0; k < page.hits.size(); ++k)
            QCOMPARE(narrowed.hits[k].record, page.hits[k].record);
    }
}

void tst_ThingSearch::narrowingFindsWhatAFreshSearchFinds()
{
    DayTable table = sampleTable();
    ThingSearch typed(table);
    const auto same = [&](const QString &query) {
        typed.setQuery(query);
        typed.searchAll();
        ThingSearch fresh(table);
        fresh.setQuery(query);
        fresh.searchAll();
        const auto a = typed.results({}, 100);
        const auto b = fresh.results({}, 100);
        if (a.total != b.total || a.hits.size() != b.hits.size())
            return false;
        for (size_t k = 0; k < a.hits.size(); ++k) {
            if (a.hits[k].record != b.hits[k].record)
                return false;
        }
        return true;
    };
    QVERIFY(same(QStringLiteral("菜")));
    QVERIFY(same(QStringLiteral("买菜")));     // extends the previous query: narrowed
    QVERIFY(same(QStringLiteral("买菜和")));
    QVERIFY(same(QStringLiteral("买")));       // a shorter query: looked for again
    QVERIFY(same(QStringLiteral("买菜")));
    QVERIFY(same(QStringLiteral("买菜 水")));  // another word: narrowed
    QVERIFY(same(QStringLiteral("水 买菜")));
    table.setThing(2, *gbk::encode(u"买菜和面"), false); // a change between two keystrokes
    QVERIFY(same(QStringLiteral("买菜和")));
    QCOMPARE(typed.results({}, 100).total, qint64(2));
}

QTEST_GUILESS_MAIN(tst_ThingSearch)
#include "tst_thingsearch.moc"
