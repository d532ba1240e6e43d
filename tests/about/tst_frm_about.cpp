#include "aboutbox.h"
#include "frm_about.h"

#include <QTextEdit>
#include <QPushButton>
#include <QAbstractTextDocumentLayout>
#include <QTest>
#include <QTextBlock>
#include <QUrl>

#include <stdexcept>

namespace {

QPushButton *button(QWidget *window, const char *name)
{
    return window->findChild<QPushButton *>(QString::fromLatin1(name));
}

void destroyClosed()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class tst_frm_About : public QObject
{
    Q_OBJECT

private slots:
    void textIsFixed();
    void textIsAllInView();
    void mailOnEveryPress();
    void failingOpenerChangesNothing_data();
    void failingOpenerChangesNothing();
    void closeButtonHidesTitleBarCloseDestroys();
    void opensWithFocusOnClose();
    void placement_data();
    void placement();
};

void tst_frm_About::textIsFixed()
{
    const QByteArray expected =
        "\xE5\xBC\x80\xE5\x8F\x91\xE8\x80\x85\xEF\xBC\x9A" // 开发者：
        "Tallyleaf \xE5\xBC\x80\xE5\x8F\x91\xE7\xBB\x84 https://tallyleaf.example.org\r\n"
        "\xE9\x82\xAE  \xE7\xAE\xB1\xEF\xBC\x9A" // 邮  箱：
        "tallyleaf@example.org\r\n"
        "\xE7\x89\x88  \xE6\x9C\xAC\xEF\xBC\x9AV1.00\r\n" // 版  本：
        "\xE5\x8F\x91\xE5\xB8\x83\xE6\x97\xA5\xEF\xBC\x9A" // 发布日：
        "2014\xE5\xB9\xB4" "1\xE6\x9C\x88" "20\xE6\x97\xA5\r\n";
    QCOMPARE(aboutText().toUtf8(), expected);

    // The text area shows those four lines (and the empty one after the last line end).
    frm_About about({});
    const QString shown = about.findChild<QTextEdit *>(QStringLiteral("Text1"))->toPlainText();
    QCOMPARE(shown, QString(aboutText()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QCOMPARE(about.windowTitle(), QStringLiteral("关于Tallyleaf V0.01"));
}

void tst_frm_About::textIsAllInView()
{
    // Regression: the designed box is too low for the fallback font and hid the version and date.
    frm_About about({});
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const auto *text1 = about.findChild<QTextEdit *>(QStringLiteral("Text1"));
    const QTextDocument *document = text1->document();

    const QTextBlock date = document->findBlockByNumber(3);
    QVERIFY(date.text().startsWith(QStringLiteral("发布日")));
    const QRectF placed = document->documentLayout()->blockBoundingRect(date);
    QVERIFY2(placed.bottom() <= text1->viewport()->height(),
             qPrintable(QStringLiteral("%1 > %2").arg(placed.bottom()).arg(text1->viewport()->height())));
    QVERIFY(about.rect().contains(text1->geometry()));
}

void tst_frm_About::mailOnEveryPress()
{
    QList<QUrl> requests;
    frm_About about([&](const QUrl &url) {
        requests << url;
        return true;
    });
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));

    for (int press = 1; press <= 3; ++press) {
        QTest::mouseClick(button(&about, "Command1"), Qt::LeftButton);
        QCOMPARE(requests.size(), press);
        QCOMPARE(requests.last(), QUrl(QStringLiteral("mailto:tallyleaf@example.org")));
        QVERIFY(about.isVisible());
    }
}

void tst_frm_About::failingOpenerChangesNothing_data()
{
    QTest::addColumn<MailOpener>("opener");

    QTest::newRow("reports failure") << MailOpener([](const QUrl &) { return false; });
    QTest::newRow("throws") << MailOpener([](const QUrl &) -> bool { throw std::runtime_error("no mail program"); });
    QTest::newRow("missing") << MailOpener();
}

void tst_frm_About::failingOpenerChangesNothing()
{
    QFETCH(MailOpener, opener);

    AboutBox box(opener);
    frm_About *about = box.show();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    const QString text = about->findChild<QTextEdit *>(QStringLiteral("Text1"))->toPlainText();

    QTest::mouseClick(button(about, "Command1"), Qt::LeftButton);
    QTest::mouseClick(button(about, "Command1"), Qt::LeftButton);
    destroyClosed();

    QCOMPARE(box.show(), about);
    QVERIFY(about->isVisible());
    QCOMPARE(about->findChild<QTextEdit *>(QStringLiteral("Text1"))->toPlainText(), text);
}

void tst_frm_About::closeButtonHidesTitleBarCloseDestroys()
{
    AboutBox box([](const QUrl &) { return true; });
    QPointer<frm_About> first = box.show();
    QVERIFY(first->isModal());
    QVERIFY(QTest::qWaitForWindowExposed(first));

    QTest::mouseClick(button(first, "cmd_close"), Qt::LeftButton);
    destroyClosed();
    QVERIFY(first);
    QVERIFY(!first->isVisible());
    QCOMPARE(box.show(), first.data());
    QVERIFY(first->isVisible());

    QVERIFY(first->close()); // as from the title bar
    destroyClosed();
    QVERIFY(!first);
    frm_About *second = box.show();
    QVERIFY(second);
    QVERIFY(second->isVisible());
}

void tst_frm_About::opensWithFocusOnClose()
{
    AboutBox box([](const QUrl &) { return true; });
    frm_About *about = box.show();
    QVERIFY(QTest::qWaitForWindowActive(about));
    QCOMPARE(QApplication::focusWidget(), button(about, "cmd_close"));

    // Tab goes on to the text, then to the mail button.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button(about, "Command1"));

    // A window loaded afresh after a title-bar close starts on "关 闭" again.
    about->close();
    destroyClosed();
    about = box.show();
    QVERIFY(QTest::qWaitForWindowActive(about));
    QCOMPARE(QApplication::focusWidget(), button(about, "cmd_close"));
}

void tst_frm_About::placement_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");

    const QSize size(531, 239); // 7965 × 3585 twips
    QTest::newRow("room enough") << QRect(0, 0, 1280, 800) << QRect(0, 0, 1280, 770) << QRect(QPoint(710, 485), size);
    QTest::newRow("second screen to the right")
        << QRect(1920, 0, 1920, 1080) << QRect(1920, 0, 1920, 1040) << QRect(QPoint(2630, 485), size);
    QTest::newRow("too small: pulled back inside")
        << QRect(0, 0, 1024, 600) << QRect(0, 0, 1024, 570) << QRect(QPoint(1024 - 531, 570 - 239), size);
    QTest::newRow("smaller than the window: top-left stays visible")
        << QRect(0, 0, 400, 200) << QRect(0, 0, 400, 200) << QRect(QPoint(0, 0), size);
}

void tst_frm_About::placement()
{
    QFETCH(QRect, screen);
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    QCOMPARE(aboutClientRect(screen, available), expected);
}

QTEST_MAIN(tst_frm_About)
#include "tst_frm_about.moc"
