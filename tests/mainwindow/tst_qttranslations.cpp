#include "qttranslations.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

// The confirmations' Yes and No come from Qt's translations in the user's language.
class tst_QtTranslations : public QObject
{
    Q_OBJECT

private slots:
    void messageBoxButtonsFollowTheLanguage()
    {
        QVERIFY2(installQtTranslations(QLocale(QLocale::Chinese, QLocale::China)),
                 "Qt's translations are missing (Debian: qt6-translations-l10n)");
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tallyleaf"), QStringLiteral("?"),
                        QMessageBox::Yes | QMessageBox::No);
        QVERIFY(box.button(QMessageBox::Yes)->text().contains(QStringLiteral("是")));
        QVERIFY(box.button(QMessageBox::No)->text().contains(QStringLiteral("否")));
    }
};

QTEST_MAIN(tst_QtTranslations)
#include "tst_qttranslations.moc"
