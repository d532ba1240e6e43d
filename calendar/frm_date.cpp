#include "frm_date.h"

#include "artwork.h"
#include "calendarcell.h"
#include "clickablelabel.h"
#include "dayviewhost.h"
#include "fonts.h"
#include "daytable.h"
#include "monthgrid.h"
#include "oledate.h"
#include "timesource.h"
#include "units.h"

#include <QComboBox>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>
#include <vector>

namespace {

constexpr int FirstListedYear = 2010;
constexpr int LastListedYear = 2050;
// A year this close to the list joins it as a run of years; a farther one (the day book allows
// 100 to 9999) is added alone, so the list stays short enough to scroll.
constexpr int YearReach = 50;

constexpr const char16_t *WeekdayCaptions[] = {u"星期一", u"星期二", u"星期三", u"星期四",
                                               u"星期五", u"星期六", u"星期日"};

QString yearItem(int year) { return QString::number(year) + u'年'; }
QString monthItem(int month) { return QString::number(month) + u'月'; }

// 2010 to 2050, widened so that the shown year and the current year can always be selected.
std::vector<int> listedYears(int shownYear, int currentYear)
{
    std::vector<int> years;
    int first = FirstListedYear;
    int last = LastListedYear;
    for (const int year : {shownYear, currentYear}) {
        if (year < FirstListedYear - YearReach || year > LastListedYear + YearReach) {
            years.push_back(year);
        } else {
            first = std::min(first, year);
            last = std::max(last, year);
        }
    }
    for (int year = first; year <= last; ++year)
        years.push_back(year);
    std::sort(years.begin(), years.end());
    years.erase(std::unique(years.begin(), years.end()), years.end());
    return years;
}

// The number in front of the one-character unit of a list item ("2013年", "5月").
std::optional<int> listedNumber(const QComboBox *list)
{
    const QString text = list->currentText();
    bool ok = false;
    const int number = text.isEmpty() ? 0 : text.chopped(1).toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

QLabel *label(QWidget *parent, const QString &text, const QString &name)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop); // where the design's labels put their text
    return l;
}

} // namespace

frm_date::frm_date(const DayTable &table, const TimeSource &time, DayViewHost &host, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_table(table)
    , m_time(time)
    , m_host(host)
{
    setObjectName(QStringLiteral("frm_date"));
    setWindowTitle(QStringLiteral("日期选择"));
    setWindowIcon(artwork::programIcon());
    setFont(fonts::windowDefault());
    QPalette white = palette();
    white.setColor(QPalette::Window, QColor(255, 255, 255));
    setPalette(white);
    setAutoFillBackground(true);
    setMouseTracking(true);
    resize(units::twipsRect(0, 0, 13005, 7155).size());

    buildControls();
    Form_Load();
}

frm_date *frm_date::open(const DayTable &table, const TimeSource &time, DayViewHost &host)
{
    auto *window = new frm_date(table, time, host);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    return window;
}

void frm_date::buildControls()
{
    m_lblYear = label(this, QStringLiteral("2013年"), QStringLiteral("lbl_year"));
    m_lblYear->setGeometry(units::twipsRect(120, 240, 1455, 495));
    m_lblYear->setFont(fonts::font(fonts::Face::MicrosoftYaHei, 18, QFont::Bold));

    m_lblMonth = label(this, QStringLiteral("5月"), QStringLiteral("lbl_month"));
    m_lblMonth->setGeometry(units::twipsRect(120, 720, 1290, 840));
    m_lblMonth->setFont(fonts::font(fonts::Face::SimHei, 42, QFont::Bold));
    fitMonthHeading();

    label(this, QStringLiteral("选择年月："), QStringLiteral("Label4"))->setGeometry(units::twipsRect(120, 1800, 1095, 255));

    const QFont listFont = fonts::font(fonts::Face::SimSun, 12);
    m_cboYear = new QComboBox(this);
    m_cboYear->setObjectName(QStringLiteral("cbo_Year"));
    m_cboYear->setGeometry(units::twipsRect(120, 2040, 1455, 360));
    m_cboMonth = new QComboBox(this);
    m_cboMonth->setObjectName(QStringLiteral("cbo_Month"));
    m_cboMonth->setGeometry(units::twipsRect(120, 2400, 1455, 360));
    m_cboYear->setFont(listFont);
    m_cboMonth->setFont(listFont);
    connect(m_cboYear, &QComboBox::currentIndexChanged, this, &frm_date::cbo_Year_Click);
    connect(m_cboMonth, &QComboBox::currentIndexChanged, this, &frm_date::cbo_Month_Click);

    auto *link = new ClickableLabel(QStringLiteral("返回本月"), this);
    link->setObjectName(QStringLiteral("lbl_returnThisMonth"));
    link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    link->setGeometry(units::twipsRect(720, 2880, 855, 255));
    link->setFont(fonts::font(fonts::Face::SimSun, 9, QFont::Normal, true));
    QPalette linkPalette = link->palette();
    linkPalette.setColor(QPalette::WindowText, linkPalette.color(QPalette::Highlight));
    link->setPalette(linkPalette);
    connect(link, &ClickableLabel::clicked, this, &frm_date::lbl_returnThisMonth_Click);

    const QFont dayFont = fonts::font(fonts::Face::AdobeFanHei, 26.25, 600);
    const QPoint inset(CalendarCell::Inset, CalendarCell::Inset);
    for (int i = 0; i < GridCells; ++i) {
        auto *cell = new CalendarCell(this);
        cell->setObjectName(QStringLiteral("pic_calendar_%1").arg(i));
        m_cells[size_t(i)] = cell;
        connect(cell, &CalendarCell::clicked, this, [this, i] { pic_calendar_Click(i); });
        connect(cell, &CalendarCell::hovered, this, [this, i] { pic_calendar_MouseMove(i); });

        if (i < DayCells) {
            auto *day = new ClickableLabel(cell);
            day->setObjectName(QStringLiteral("lbl_day_%1").arg(i));
            day->setFont(dayFont);
            day->move(inset + QPoint(8, 8));
            m_dayLabels[size_t(i)] = day;
            connect(day, &ClickableLabel::clicked, this, [this, i] { lbl_day_Click(i); });
        } else {
            const int column = i - DayCells;
            auto *week = new ClickableLabel(QString::fromUtf16(WeekdayCaptions[column]), cell);
            week->setObjectName(QStringLiteral("lbl_week_%1").arg(i));
            week->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            week->setGeometry(QRect(inset + QPoint(32, 4), QSize(41, 25)));
            if (column >= 5) {
                QPalette red = week->palette();
                red.setColor(QPalette::WindowText, QColor(255, 0, 0));
                week->setPalette(red);
            }
            connect(week, &ClickableLabel::clicked, this, [this, i] { lbl_week_Click(i); });
        }
    }
}

void frm_date::Form_Load()
{
    const QRect screen = this->screen()->geometry();
    const QSize outer = frameGeometry().size();
    move(screen.left() + (screen.width() - outer.width()) / 2, screen.top() + (screen.height() - outer.height()) / 2);

    const QDate shown = m_host.shownDate();
    for (const int year : listedYears(shown.year(), m_time.today().year()))
        m_cboYear->addItem(yearItem(year));
    for (int month = 1; month <= 12; ++month)
        m_cboMonth->addItem(monthItem(month));

    CalendarReady = false; // the presets below must not draw the grid yet
    if (const int i = m_cboYear->findText(yearItem(shown.year())); i >= 0) {
        m_cboYear->setCurrentIndex(i);
        m_lblYear->setText(m_cboYear->itemText(i));
    }
    if (const int i = m_cboMonth->findText(monthItem(shown.month())); i >= 0) {
        m_cboMonth->setCurrentIndex(i);
        m_lblMonth->setText(m_cboMonth->itemText(i));
    }
    CalendarReady = true;
    cal_showmonth(shown);
}

void frm_date::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frm_date::keepMinimumSize()
{
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return; // the window manager owns these sizes; the rule applies again when restored
    // The rule is on the outer size; the frame is known only once the window manager has drawn it.
    const QSize frame = frameGeometry().size() - size();
    const QSize minimumClient = (MinimumOuterSize - frame).expandedTo(QSize(1, 1));
    if (minimumSize() != minimumClient)
        setMinimumSize(minimumClient); // lets the window manager stop a drag below it
    if (width() < minimumClient.width() || height() < minimumClient.height())
        resize(size().expandedTo(minimumClient));
}

void frm_date::Form_Resize()
{
    keepMinimumSize();

    const double sw = width();
    const double sh = height();
    const double cellWidth = (sw - 121) / 7 + 1;
    const double columnStep = (sw - 121) / 7 - 1;
    const double cellHeight = (sh - 9 - 24) / 6;
    const double rowStep = (sh - 9 - 24) / 6 - 1;
    for (int i = 0; i < DayCells; ++i) {
        const int column = i % 7;
        const int row = i / 7;
        m_cells[size_t(i)]->setGeometry(QRectF(column * columnStep + 120, row * rowStep + 32, cellWidth, cellHeight).toRect());
    }
    const QRectF header = units::twipsRectF(0, 120, 0, 375);
    for (int i = DayCells; i < GridCells; ++i) {
        const double left = (i - DayCells) * columnStep + 120; // the left of cell i - 7
        m_cells[size_t(i)]->setGeometry(QRectF(left, header.top(), cellWidth, header.height()).toRect());
    }

    if (const auto month = listedMonth())
        cal_showmonth(*month);
}

std::optional<QDate> frm_date::listedMonth() const
{
    const auto year = listedNumber(m_cboYear);
    const auto month = listedNumber(m_cboMonth);
    if (!year || !month)
        return std::nullopt;
    const QDate first(*year, *month, 1);
    return first.isValid() ? std::optional<QDate>(first) : std::nullopt;
}

void frm_date::cal_showmonth(QDate d)
{
    const monthgrid::Month month = monthgrid::fill(m_table, d, m_time.today());
    for (int i = 0; i < DayCells; ++i) {
        const monthgrid::Cell &cell = month[size_t(i)];
        ClickableLabel *day = m_dayLabels[size_t(i)];
        day->setText(cell.day ? QString::number(cell.day) : QString());
        day->adjustSize();
        m_cells[size_t(i)]->print(cell.lines);
        describeCell(i, cell.day ? QDate(d.year(), d.month(), cell.day) : QDate(), cell.lines);
    }
}

void frm_date::describeCell(int index, QDate date, const std::vector<monthgrid::Line> &lines)
{
    // What a screen reader says for a day: its date, then its things as the cell shows them.
    CalendarCell *cell = m_cells[size_t(index)];
    if (!date.isValid()) {
        cell->setAccessibleName(QString());
        cell->setAccessibleDescription(QString());
        return;
    }
    cell->setAccessibleName(QLocale().toString(date, QLocale::LongFormat));
    QStringList things;
    for (const monthgrid::Line &line : lines)
        things << line.text;
    cell->setAccessibleDescription(things.isEmpty() ? QStringLiteral("没有记录") : things.join(QStringLiteral("；")));
}

void frm_date::cbo_Year_Click()
{
    if (!CalendarReady)
        return;
    if (const auto month = listedMonth())
        cal_showmonth(*month);
    m_lblYear->setText(m_cboYear->currentText());
}

void frm_date::cbo_Month_Click()
{
    if (!CalendarReady)
        return;
    if (const auto month = listedMonth())
        cal_showmonth(*month);
    m_lblMonth->setText(m_cboMonth->currentText());
}

void frm_date::fitMonthHeading()
{
    // The heading keeps its column left of the grid; its font shrinks until the widest month
    // ("12月" in most fonts) fits, so that no month is cut and the size does not jump between months.
    QFont font = m_lblMonth->font();
    const auto widest = [&] {
        const QFontMetrics metrics(font);
        int width = 0;
        for (int month = 1; month <= 12; ++month)
            width = std::max(width, metrics.horizontalAdvance(QStringLiteral("%1月").arg(month)));
        return width;
    };
    while (font.pixelSize() > 8 && widest() > m_lblMonth->width())
        font.setPixelSize(font.pixelSize() - 1);
    m_lblMonth->setFont(font);
}

void frm_date::pic_calendar_Click(int index)
{
    if (index < 0 || index >= DayCells || m_dayLabels[size_t(index)]->text().isEmpty())
        return;

    // Without a year and month to read back, the main window shows its own day again.
    QDate picked = m_host.shownDate();
    if (const auto month = listedMonth()) {
        const QDate day(month->year(), month->month(), m_dayLabels[size_t(index)]->text().toInt());
        if (day.isValid() && oledate::inRange(day))
            picked = day;
    }
    hide(); // ends the modal display before the main window changes or says why it cannot
    // When the shown day cannot be kept the main window stays on it and has told the user why;
    // the calendar closes either way, so that the user can mend that day.
    [[maybe_unused]] const bool moved = m_host.goToDay(picked);
    close(); // deletes the window when open() built it
    m_host.showMainWindow();
}

void frm_date::pic_calendar_MouseMove(int index)
{
    for (int j = 0; j < DayCells; ++j)
        m_cells[size_t(j)]->setSunken(j == index);
}

void frm_date::Form_MouseMove()
{
    for (int j = 0; j < DayCells; ++j)
        m_cells[size_t(j)]->setSunken(false);
}

void frm_date::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
    Form_MouseMove();
}

void frm_date::lbl_returnThisMonth_Click()
{
    const QDate today = m_time.today();
    if (const int i = m_cboYear->findText(yearItem(today.year())); i >= 0)
        m_cboYear->setCurrentIndex(i);
    if (const int i = m_cboMonth->findText(monthItem(today.month())); i >= 0)
        m_cboMonth->setCurrentIndex(i);
}
