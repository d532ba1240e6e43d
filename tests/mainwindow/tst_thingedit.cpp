#include "thingedit.h"

#include <QTest>

class tst_ThingEdit : public QObject
{
    Q_OBJECT

private slots:
    void refusesCharactersWithoutGbkForm_data();
    void refusesCharactersWithoutGbkForm();
    void limitsTypingButNotStoredText();
};

void tst_ThingEdit::refusesCharactersWithoutGbkForm_data()
{
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("kept");
    QTest::newRow("emoji between words") << QStringLiteral("开会 🎉 ok") << QStringLiteral("开会  ok");
    QTest::newRow("Thai") << QStringLiteral("a\u0E01b") << QStringLiteral("ab");
    QTest::newRow("GBK punctuation stays") << QStringLiteral("①、“引号”…€") << QStringLiteral("①、“引号”…€");
}

void tst_ThingEdit::refusesCharactersWithoutGbkForm()
{
    QFETCH(QString, pasted);
    QFETCH(QString, kept);
    ThingEdit edit;
    edit.insert(pasted); // what a paste does
    QCOMPARE(edit.text(), kept);
    QCOMPARE(edit.cursorPosition(), int(kept.size()));
}

void tst_ThingEdit::limitsTypingButNotStoredText()
{
    ThingEdit edit;
    QTest::keyClicks(&edit, QString(85, QLatin1Char('x')));
    QCOMPARE(edit.text().size(), ThingEdit::InputLimit);

    // A stored thing may hold 160 single-byte characters; showing it must not cut it.
    const QString stored(160, QLatin1Char('y'));
    edit.setThingText(stored);
    QCOMPARE(edit.text(), stored);
    QTest::keyClick(&edit, Qt::Key_End);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QCOMPARE(edit.text().size(), 159);
    QTest::keyClicks(&edit, QStringLiteral("z"));
    QCOMPARE(edit.text().size(), 159); // no growing past the limit
}

QTEST_MAIN(tst_ThingEdit)
#include "tst_thingedit.moc"
