#include "frm_about.h"

#include "artwork.h"
#include "fonts.h"
#include "maker.h"
#include "units.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextEdit>
#include <QUrl>

#include <algorithm>
#include <cmath>

MailOpener defaultMailOpener()
{
    return [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

QString aboutText()
{
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("开发者：") + maker::Name + QLatin1Char(' ') + maker::Web + crlf
        + QStringLiteral("邮  箱：") + maker::FeedbackAddress + crlf
        + QStringLiteral("版  本：V1.00") + crlf
        + QStringLiteral("发布日：2014年1月20日") + crlf;
}

QRect aboutClientRect(const QRect &screen, const QRect &available)
{
    QRect rect = units::twipsRect(10650, 7275, 7965, 3585).translated(screen.topLeft());
    // A small screen would leave the buttons out of reach.
    if (rect.right() > available.right())
        rect.moveRight(available.right());
    if (rect.bottom() > available.bottom())
        rect.moveBottom(available.bottom());
    if (rect.left() < available.left())
        rect.moveLeft(available.left());
    if (rect.top() < available.top())
        rect.moveTop(available.top());
    return rect;
}

namespace {

// The designed box holds under three lines of the CJK fallback font, and the first line wraps at
// this width, so the version and date would hide below the edge. The box keeps its left, width
// and middle and grows to show the whole text, within the room between the banner and the
// window's bottom edge; whatever still does not fit scrolls by wheel or keys.
QRect text1Rect(QTextEdit &text1, int roomTop, int roomBottom)
{
    const QRect designed = units::twipsRect(480, 2520, 3375, 855);
    const int frame = text1.frameWidth();
    QTextDocument *document = text1.document();
    document->setTextWidth(designed.width() - 2 * frame);
    // The last line end only opens an empty line; it need not be in view.
    const double emptyLast = document->documentLayout()->blockBoundingRect(document->lastBlock()).height();
    const int needed = int(std::ceil(document->size().height() - emptyLast)) + 2 * frame;

    const int gap = 4;
    const int height = std::max(designed.height(), std::min(needed, roomBottom - roomTop - 2 * gap));
    QRect rect(designed.left(), 0, designed.width(), height);
    rect.moveCenter(QPoint(rect.center().x(), designed.center().y()));
    if (rect.bottom() > roomBottom - gap)
        rect.moveBottom(roomBottom - gap);
    if (rect.top() < roomTop + gap)
        rect.moveTop(roomTop + gap);
    return rect;
}

} // namespace

frm_About::frm_About(MailOpener openMail, QWidget *parent)
    : QDialog(parent)
    , m_openMail(std::move(openMail))
{
    setObjectName(QStringLiteral("frm_About"));
    setWindowTitle(QStringLiteral("关于Tallyleaf V0.01"));
    setWindowIcon(artwork::programIcon());
    setAttribute(Qt::WA_DeleteOnClose); // hide() keeps the window; only closing it destroys it
    setFont(fonts::windowDefault());

    QPalette look = palette();
    look.setColor(QPalette::Window, Qt::white);
    look.setColor(QPalette::WindowText, Qt::black);
    setPalette(look);
    setAutoFillBackground(true);

    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect client = screen ? aboutClientRect(screen->geometry(), screen->availableGeometry())
                                : units::twipsRect(10650, 7275, 7965, 3585);
    setFixedSize(client.size());
    setGeometry(client);

    auto *image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setPixmap(artwork::picture(artwork::AboutBanner));
    image1->setScaledContents(true);
    image1->setGeometry(units::twipsRect(360, 240, 7200, 1680));

    m_text1 = new QTextEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setPlainText(aboutText());
    m_text1->setReadOnly(true);
    m_text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text1->setTabChangesFocus(true);
    m_text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // only the empty last line is out of view
    m_text1->setGeometry(text1Rect(*m_text1, image1->geometry().bottom() + 1, height()));

    m_command1 = new QPushButton(QStringLiteral("邮件发送意见"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(units::twipsRect(3960, 2760, 1695, 495));
    connect(m_command1, &QPushButton::clicked, this, &frm_About::Command1_Click);

    m_cmdClose = new QPushButton(QStringLiteral("关 闭"), this);
    m_cmdClose->setObjectName(QStringLiteral("cmd_close"));
    m_cmdClose->setGeometry(units::twipsRect(5880, 2760, 1695, 495));
    connect(m_cmdClose, &QPushButton::clicked, this, &frm_About::cmd_close_Click);

    setTabOrder(m_cmdClose, m_text1);
    setTabOrder(m_text1, m_command1);
    m_cmdClose->setFocus();
}

void frm_About::Command1_Click()
{
    // Whatever becomes of the request (no mail program, no handler, an opener that throws), the
    // window carries on unchanged and tells nobody.
    try {
        if (m_openMail)
            (void)m_openMail(QUrl(QStringLiteral("mailto:") + maker::FeedbackAddress));
    } catch (...) {
    }
}

void frm_About::cmd_close_Click()
{
    hide();
}

void frm_About::reject()
{
    hide();
}
