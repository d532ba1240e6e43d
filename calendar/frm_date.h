#pragma once

#include "monthgrid.h"

#include <QDate>
#include <QWidget>
#include <array>
#include <optional>

class CalendarCell;
class ClickableLabel;
class DayViewHost;
class QComboBox;
class QLabel;
class TimeSource;
class DayTable;

// The calendar window: a month grid with each day's things, the year and month lists that choose
// the month, and a click on a day that moves the main window there. It changes the day book's
// state only when a day is picked, and is built afresh on every opening.
class frm_date : public QWidget
{
    Q_OBJECT

public:
    static constexpr int DayCells = 42;   // pic_calendar(0..41), six rows of seven
    static constexpr int GridCells = 49;  // with the weekday header row, pic_calendar(42..48)
    static constexpr QSize MinimumOuterSize = QSize(560, 447);

    frm_date(const DayTable &table, const TimeSource &time, DayViewHost &host, QWidget *parent = nullptr);

    // What the main window's calendar button opens: a fresh window, application-modal, shown
    // without blocking. Closing it or picking a day deletes it.
    static frm_date *open(const DayTable &table, const TimeSource &time, DayViewHost &host);

    void cal_showmonth(QDate d);

    void pic_calendar_Click(int index);
    void lbl_day_Click(int index) { pic_calendar_Click(index); }
    void lbl_week_Click(int index) { pic_calendar_Click(index); }
    void pic_calendar_MouseMove(int index);
    void Form_MouseMove();
    void lbl_returnThisMonth_Click();
    void cbo_Year_Click();
    void cbo_Month_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void describeCell(int index, QDate date, const std::vector<monthgrid::Line> &lines);
    void buildControls();
    void Form_Load();
    void Form_Resize();
    void keepMinimumSize();
    void fitMonthHeading();
    std::optional<QDate> listedMonth() const;

    const DayTable &m_table;
    const TimeSource &m_time;
    DayViewHost &m_host;

    QLabel *m_lblYear = nullptr;
    QLabel *m_lblMonth = nullptr;
    QComboBox *m_cboYear = nullptr;
    QComboBox *m_cboMonth = nullptr;
    std::array<CalendarCell *, GridCells> m_cells{};
    std::array<ClickableLabel *, DayCells> m_dayLabels{};

    bool CalendarReady = false;
};
