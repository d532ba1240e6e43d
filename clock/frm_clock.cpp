#include "frm_clock.h"

#include "clockhand.h"
#include "fonts.h"
#include "artwork.h"
#include "readoutformat.h"
#include "timesource.h"
#include "units.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QTime>
#include <QTimer>

#include <algorithm>

namespace {

constexpr double HourWidth = 12; // pixels, as are all line widths here
constexpr double MinuteWidth = 5;
constexpr double SecondWidth = 5;
constexpr double HubWidth = 12;
constexpr double DialWidth = 2;

// Line widths are given in pixels; the painter draws in points.
double pixelsToPoints(double pixels)
{
    return pixels / units::PixelsPerPoint;
}

QRectF twipsToPointsRect(double left, double top, double width, double height)
{
    return {units::twipsToPoints(left), units::twipsToPoints(top), units::twipsToPoints(width),
            units::twipsToPoints(height)};
}

void drawLine(QPainter &painter, const QLineF &line, const QColor &colour, double widthPixels)
{
    painter.setPen(QPen(colour, pixelsToPoints(widthPixels), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(line);
}

} // namespace

frm_clock::frm_clock(const TimeSource &time, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_time(time)
    , m_timeFormat(timeFormatWithoutZone(QLocale().timeFormat(QLocale::LongFormat)))
    , m_banner(artwork::picture(artwork::Banner))
{
    setObjectName(QStringLiteral("frm_clock"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(QIcon()); // explicitly none, not the application's
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(units::twipsRect(0, 0, 14070, 10095).size()); // nothing follows the window's size

    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    m_picture1 = new QFrame(this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_picture1->setLineWidth(2);
    m_picture1->setBackgroundRole(QPalette::Button); // the panel face, not the window's white
    m_picture1->setAutoFillBackground(true);
    m_picture1->setGeometry(units::twipsRect(240, 240, 3495, 1455));

    m_lblTime = new QLabel(QStringLiteral("0:00"), m_picture1);
    m_lblTime->setObjectName(QStringLiteral("lbl_time"));
    m_lblTime->setFont(fonts::font(fonts::Face::Symbol, 42, QFont::Bold));
    m_lblTime->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The designed label is far narrower than a time with seconds at this size, so the label runs
    // across the panel (same margin both sides) and fitReadout() shrinks the font until it fits.
    const QRect inside = m_picture1->contentsRect();
    const QRect designed = units::twipsRect(240, 120, 1545, 1020).translated(inside.topLeft());
    m_lblTime->setGeometry(designed.left(), designed.top(), inside.width() - 2 * (designed.left() - inside.left()),
                           designed.height());
    fitReadout();

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(1000);
    connect(m_timer1, &QTimer::timeout, this, &frm_clock::Timer1_Timer);
    m_timer1->start();

    Form_Load();
}

void frm_clock::Form_Load()
{
    LastSecond = m_time.now().time().second();
    LastMinute = m_time.now().time().minute();
    LastHour = m_time.now().time().hour();

    placeHand(m_secondHand, clockhand::line(clockhand::Second, m_time.now().time().second()), SecondWidth);
    placeHand(m_minuteHand, clockhand::line(clockhand::Minute, m_time.now().time().minute()), MinuteWidth);
    placeHand(m_hourHand, clockhand::line(clockhand::Hour, m_time.now().time().hour()), HourWidth);

    // So the readout shows the time at once rather than a second later.
    Timer1_Timer();
}

void frm_clock::Timer1_Timer()
{
    m_lblTime->setText(QLocale().toString(m_time.now().time(), m_timeFormat));

    // Each value is read on its own; a tick never catches up step by step, it shows the present.
    const int s = m_time.now().time().second();
    const int m = m_time.now().time().minute();
    const int h = m_time.now().time().hour();

    if (s != LastSecond) {
        LastSecond = s;
        placeHand(m_secondHand, clockhand::line(clockhand::Second, s), SecondWidth);
    }
    if (m != LastMinute) {
        LastMinute = m;
        placeHand(m_minuteHand, clockhand::line(clockhand::Minute, m), MinuteWidth);
    }
    if (h != LastHour) {
        LastHour = h;
        placeHand(m_hourHand, clockhand::line(clockhand::Hour, m_time.now().time().hour()), HourWidth);
    }
}

void frm_clock::placeHand(QLineF &hand, const QLineF &line, double widthPixels)
{
    // Repaint only where the hand was and where it goes.
    const auto area = [widthPixels](const QLineF &l) {
        const QRectF points = QRectF(l.p1(), l.p2()).normalized();
        const QRectF pixels(units::pointsToPixels(points.left()), units::pointsToPixels(points.top()),
                            units::pointsToPixels(points.width()), units::pointsToPixels(points.height()));
        const double margin = widthPixels / 2 + 2;
        return pixels.adjusted(-margin, -margin, margin, margin).toAlignedRect();
    };
    if (!hand.isNull())
        update(area(hand));
    hand = line;
    update(area(hand));
}

void frm_clock::fitReadout()
{
    QFont font = m_lblTime->font();
    const QLocale locale;
    const auto widest = [&] {
        const QFontMetrics metrics(font);
        int width = 0;
        for (int hour = 0; hour < 24; ++hour) // covers one- and two-digit hours and both day halves
            width = std::max(width, metrics.horizontalAdvance(locale.toString(QTime(hour, 58, 58), m_timeFormat)));
        return width;
    };
    while (font.pixelSize() > 8 && widest() > m_lblTime->width())
        font.setPixelSize(font.pixelSize() - 1);
    m_lblTime->setFont(font);
}

void frm_clock::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(units::PixelsPerPoint, units::PixelsPerPoint);

    // Each over the ones before: dial, hub, banner, then the hands, the second hand on top.
    painter.setPen(QPen(Qt::black, pixelsToPoints(DialWidth)));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(twipsToPointsRect(3240, 240, 9600, 9600));

    drawLine(painter,
             QLineF(units::twipsToPoints(8040), units::twipsToPoints(5160), units::twipsToPoints(8055),
                    units::twipsToPoints(5175)),
             Qt::black, HubWidth);

    if (!m_banner.isNull())
        painter.drawPixmap(twipsToPointsRect(120, 8880, 2730, 660), m_banner, QRectF(m_banner.rect()));

    drawLine(painter, m_hourHand, Qt::black, HourWidth);
    drawLine(painter, m_minuteHand, Qt::black, MinuteWidth);
    drawLine(painter, m_secondHand, Qt::red, SecondWidth);
}
