// The conflict dialog's answers: a choice per row, 以后再说 for a row put off, and Cancel for no
// answer at all, which is not the same as every row put off.
#include "conflictdialog.h"

#include <QComboBox>
#include <QTableWidget>
#include <QTest>

Q_DECLARE_METATYPE(std::optional<thingdecision::Choice>)

class tst_ConflictDialog : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<std::vector<std::optional<thingdecision::Choice>>>("choices");
        QTest::newRow("OK: a choice and a row put off")
            << true << std::vector<std::optional<thingdecision::Choice>>{thingdecision::Choice::Mine, std::nullopt};
        QTest::newRow("Cancel: nothing decided, not even the row set")
            << false << std::vector<std::optional<thingdecision::Choice>>{};
    }
    void answers()
    {
        QFETCH(bool, accepted);
        QFETCH(std::vector<std::optional<thingdecision::Choice>>, choices);
        const QDate day(2013, 5, 17);
        const std::vector<thingdecision::Conflict> conflicts{
            {{day, 1}, ThingInput{QStringLiteral("review")}, ThingInput{QStringLiteral("review mine")},
             ThingInput{QStringLiteral("review theirs")}, {}},
            {{day, 2}, ThingInput{QStringLiteral("mail")}, ThingInput{}, ThingInput{QStringLiteral("mail Bob"), true}, {}}};
        ConflictDialog dialog(QStringLiteral("?"), conflicts);
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("tbl_conflicts"));
        QCOMPARE(table->item(0, 2)->text().trimmed(), QStringLiteral("review mine")); // 这台电脑
        QCOMPARE(table->item(1, 3)->text(), QStringLiteral("√ mail Bob"));            // 另一份
        dialog.findChild<QComboBox *>(QStringLiteral("cbo_keep_0"))->setCurrentIndex(1); // 这台电脑的
        accepted ? dialog.accept() : dialog.reject();
        QCOMPARE(dialog.choices(), choices);
    }
};

QTEST_MAIN(tst_ConflictDialog)
#include "tst_conflictdialog.moc"
