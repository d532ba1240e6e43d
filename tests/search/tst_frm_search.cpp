#include "frm_search.h"
#include "gbk.h"
#include "mainwindowfixture.h"
#include "oledate.h"

#include <QComboBox>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListView>

// The search window on the real main window, driven by keys and the mouse as a user would.
class tst_FrmSearch : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void ctrlFOpensOneWindowAndEscapeClosesIt();
    void typingListsMatchesNewestFirst();
    void theShownDayIsFoundAsTyped();
    void enterAndDoubleClickShowTheDayAfterWritingTheShownDay();
};

namespace {

struct Thing
{
    QDate day;
    qint32 no;
    const char16_t *text;
    bool done;
};

// A day file with a few things before 17 May 2013, the fixture's today.
QByteArray sampleFile()
{
    const Thing things[] = {
        {QDate(2013, 5, 10), 1, u"买菜", true},
        {QDate(2013, 5, 10), 2, u"跑步", false},
        {QDate(2013, 5, 12), 1, u"给妈妈打电话", false},
        {QDate(2013, 5, 12), 3, u"买菜和水果", false},
        {QDate(2013, 5, 15), 2, u"买菜", true},
    };
    QByteArray file;
    for (const Thing &t : things) {
        const double date = oledate::fromDate(t.day);
        const QByteArray dateHex = QByteArray(reinterpret_cast<const char *>(&date), sizeof date).toHex();
        file += slotimage::slot(0, t.no, *gbk::encode(QStringView(t.text)), t.done, dateHex.constData());
    }
    return file;
}

struct SearchFixture : MainWindowFixture
{
    SearchFixture() : MainWindowFixture(QDateTime(QDate(2013, 5, 17), QTime(9, 30)), &sample) {}

    // Ctrl+F in the main window; the search window it brings up, once it is active.
    frm_search *open()
    {
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            return nullptr;
        QTest::keyClick(box(0), Qt::Key_F, Qt::ControlModifier);
        auto *search = window.findChild<frm_search *>();
        return search && QTest::qWaitFor([search] { return QApplication::activeWindow() == search; }) ? search : nullptr;
    }

    static QLineEdit *query(frm_search *s) { return s->findChild<QLineEdit *>(QStringLiteral("txt_query")); }
    static QListView *list(frm_search *s) { return s->findChild<QListView *>(QStringLiteral("lst_results")); }
    static QString status(frm_search *s) { return s->findChild<QLabel *>(QStringLiteral("lbl_status"))->text(); }
    static QStringList rows(frm_search *s, int role = Qt::DisplayRole)
    {
        QStringList r;
        const QAbstractItemModel *m = list(s)->model();
        for (int i = 0; i < m->rowCount(); ++i)
            r << m->index(i, 0).data(role).toString();
        return r;
    }

    static inline const QByteArray sample = sampleFile();
};

} // namespace

void tst_FrmSearch::ctrlFOpensOneWindowAndEscapeClosesIt()
{
    SearchFixture f;
    frm_search *search = f.open();
    QVERIFY(search);
    QCOMPARE(search->windowTitle(), QStringLiteral("查找"));
    QVERIFY(SearchFixture::query(search)->hasFocus());

    QTest::keyClick(f.box(0), Qt::Key_F, Qt::ControlModifier); // again: the same window comes forward
    QCOMPARE(f.window.findChildren<frm_search *>().size(), 1);
    QTRY_COMPARE(QApplication::activeWindow(), search);

    // It opens again where the user left it.
    search->move(search->pos() + QPoint(0, 30));
    const QPoint left = search->pos();
    QTest::keyClick(SearchFixture::query(search), Qt::Key_Escape);
    QTRY_VERIFY(!search->isVisible());
    f.window.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &f.window);
    QTest::keyClick(f.box(0), Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(search->isVisible());
    QCOMPARE(search->pos(), left);
}

void tst_FrmSearch::theShownDayIsFoundAsTyped()
{
    SearchFixture f;
    typeText(f.box(2), QStringLiteral("测试未保存ABC"));
    frm_search *search = f.open();
    QVERIFY(search);
    typeText(SearchFixture::query(search), QStringLiteral("未保存"));
    QCOMPARE(SearchFixture::rows(search), (QStringList{"2013/5/17 ③   测试未保存ABC"}));
    QVERIFY(!f.file().contains("ABC")); // found, not written

    SearchFixture::query(search)->setText(QStringLiteral("买菜😀"));
    QVERIFY(SearchFixture::rows(search).isEmpty());
    QCOMPARE(SearchFixture::status(search),
             QStringLiteral("没有找到：日记文件只能存放 GBK 字符，😀 不会出现在任何一件事里。"));
}

void tst_FrmSearch::typingListsMatchesNewestFirst()
{
    SearchFixture f;
    frm_search *search = f.open();
    QVERIFY(search);
    typeText(SearchFixture::query(search), QStringLiteral("买菜"));
    QCOMPARE(SearchFixture::rows(search),
             (QStringList{"2013/5/15 ② √ 买菜", "2013/5/12 ③   买菜和水果", "2013/5/10 ① √ 买菜"}));
    QCOMPARE(SearchFixture::rows(search, Qt::AccessibleTextRole).first(), QStringLiteral("2013/5/15，第2件，已完成，买菜"));
    QCOMPARE(SearchFixture::status(search), QStringLiteral("找到 3 件事。"));

    search->findChild<QComboBox *>(QStringLiteral("cbo_done"))->setCurrentIndex(1); // not done
    QCOMPARE(SearchFixture::rows(search), (QStringList{"2013/5/12 ③   买菜和水果"}));
    search->findChild<QComboBox *>(QStringLiteral("cbo_done"))->setCurrentIndex(0);
    search->findChild<QDateEdit *>(QStringLiteral("dtp_to"))->setDate(QDate(2013, 5, 12));
    QCOMPARE(SearchFixture::rows(search).size(), 3); // the range is off until its box is ticked
    search->findChild<QCheckBox *>(QStringLiteral("chk_to"))->setChecked(true);
    QCOMPARE(SearchFixture::rows(search).size(), 2);

    typeText(SearchFixture::query(search), QStringLiteral("x"));
    QVERIFY(SearchFixture::rows(search).isEmpty());
    QCOMPARE(SearchFixture::status(search), QStringLiteral("在所选的状态和日期里没有找到包含“买菜x”的事。"));
}

void tst_FrmSearch::enterAndDoubleClickShowTheDayAfterWritingTheShownDay()
{
    SearchFixture f;
    QTest::keyClicks(f.box(0), QStringLiteral("kept"));
    frm_search *search = f.open();
    QVERIFY(search);
    QLineEdit *query = SearchFixture::query(search);
    typeText(query, QStringLiteral("买菜"));

    QTest::keyClick(query, Qt::Key_Return); // the first row
    QCOMPARE(f.window.shownDate(), QDate(2013, 5, 15));
    QCOMPARE(f.caption(), QStringLiteral("日期：2013/5/15"));
    QCOMPARE(f.texts(), (QStringList{"", "买菜", "", "", ""}));
    QVERIFY(f.file().contains("kept")); // today was written before the move
    QVERIFY(search->isVisible());
    // The main window comes forward with the match selected in its box.
    QTRY_COMPARE(QApplication::activeWindow(), &f.window);
    QVERIFY(f.box(1)->hasFocus());
    QCOMPARE(f.box(1)->selectedText(), QStringLiteral("买菜"));
    search->activateWindow(); // the user goes back to the rows
    QTRY_COMPARE(QApplication::activeWindow(), search);

    QTest::keyClick(query, Qt::Key_Down);
    QListView *list = SearchFixture::list(search);
    QVERIFY(list->hasFocus());
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(f.window.shownDate(), QDate(2013, 5, 12));
    search->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), search);

    const QRect third = list->visualRect(list->model()->index(2, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third.center()); // a double-click's first click
    QCOMPARE(f.window.shownDate(), QDate(2013, 5, 12));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(f.window.shownDate(), QDate(2013, 5, 10));
    QCOMPARE(f.tags(), (QStringList{"True", "False", "False", "False", "False"}));
    QVERIFY(search->isVisible());

    // A shown day the day book refuses keeps the main window where it is, and the results stay.
    f.box(1)->setThingText(QStringLiteral("派对🎉"));
    QTest::keyClick(query, Qt::Key_Return);
    QCOMPARE(f.window.shownDate(), QDate(2013, 5, 10));
    QCOMPARE(f.prompts.informed.size(), 1);
    QCOMPARE(SearchFixture::rows(search).size(), 3);
    f.box(1)->clear();

    // An edit saved in the main window is in the rows when the user comes back.
    f.window.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &f.window);
    QTest::keyClick(f.box(0), Qt::Key_End);
    QTest::keyClicks(f.box(0), QStringLiteral("!"));
    QTest::keyClick(f.box(0), Qt::Key_S, Qt::ControlModifier);
    search->activateWindow();
    QTRY_COMPARE(SearchFixture::rows(search).value(2), QStringLiteral("2013/5/10 ① √ 买菜!"));
}

QTEST_MAIN(tst_FrmSearch)
#include "tst_frm_search.moc"
