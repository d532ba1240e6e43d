#include "mainwindowfixture.h"

#include <QAccessible>
#include <QInputMethodEvent>

class tst_Keyboard : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); }

    void shortcutsMoveBetweenDays();
    void ctrlNumberTogglesThatThing();
    void ctrlSSavesTheShownDay();
    void enterCommitsAnInputMethodComposition();
    void screenReadersHearNamesAndStates();
};

void tst_Keyboard::shortcutsMoveBetweenDays()
{
    MainWindowFixture f;
    f.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    QTest::keyClick(f.box(0), Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(f.window.shownDate(), QDate(2013, 5, 18));
    QTest::keyClick(f.box(0), Qt::Key_Right, Qt::AltModifier);
    QTest::keyClick(f.box(0), Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(f.window.shownDate(), QDate(2013, 5, 18));
    QTest::keyClick(f.box(0), Qt::Key_Home, Qt::AltModifier);
    QCOMPARE(f.window.shownDate(), QDate(2013, 5, 17));
    QCOMPARE(f.caption(), QStringLiteral("今天：2013/5/17"));
}

void tst_Keyboard::ctrlNumberTogglesThatThing()
{
    MainWindowFixture f;
    f.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    QTest::keyClick(f.box(0), Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(f.tags(), (QStringList{"False", "False", "True", "False", "False"}));
    QVERIFY(f.window.isDirty());
    QVERIFY(f.box(0)->text().isEmpty()); // the key did not type a "3"
    QTest::keyClick(f.box(0), Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(f.tags()[2], QStringLiteral("False"));
}

void tst_Keyboard::ctrlSSavesTheShownDay()
{
    MainWindowFixture f;
    f.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    QTest::keyClicks(f.box(0), QStringLiteral("kept"));
    QTest::keyClick(f.box(0), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(f.file().size(), 1000);
    QVERIFY(!f.window.isDirty());
}

void tst_Keyboard::enterCommitsAnInputMethodComposition()
{
    MainWindowFixture f;
    f.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    f.box(1)->setFocus();
    QInputMethodEvent composing(QStringLiteral("ni"), {});
    QApplication::sendEvent(f.box(1), &composing);
    QTest::keyClick(f.box(1), Qt::Key_Return);
    QCOMPARE(f.box(1)->text(), QStringLiteral("ni"));
    QVERIFY(f.box(1)->hasFocus()); // Enter went to the composition, not to the next box
    QTest::keyClick(f.box(1), Qt::Key_Return);
    QVERIFY(f.box(2)->hasFocus());
    QCOMPARE(f.box(1)->text(), QStringLiteral("ni"));
}

void tst_Keyboard::screenReadersHearNamesAndStates()
{
    MainWindowFixture f;
    const auto said = [](QWidget *w, QAccessible::Text what) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        return iface ? iface->text(what) : QString();
    };
    QCOMPARE(said(f.box(2), QAccessible::Name), QStringLiteral("③"));
    QCOMPARE(said(f.button("cmd_lastday"), QAccessible::Name), QStringLiteral("前一天"));
    QCOMPARE(said(f.mark(3), QAccessible::Name), QStringLiteral("第4件事的完成标记"));
    QVERIFY(said(f.mark(3), QAccessible::Description).startsWith(QStringLiteral("未完成")));
    f.clickMark(3);
    QVERIFY(said(f.mark(3), QAccessible::Description).startsWith(QStringLiteral("已完成")));
    QCOMPARE(f.mark(0)->toolTip(), QStringLiteral("点击标注完成"));
}

QTEST_MAIN(tst_Keyboard)
#include "tst_keyboard.moc"
