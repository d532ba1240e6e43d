#pragma once

#include <QDate>

// The main window's day-view procedures, as the calendar calls them when the user picks a day.
// The main window implements this; the calendar never includes the main window itself.
class DayViewHost
{
public:
    virtual ~DayViewHost() = default;

    virtual void td_save() = 0;    // writes the shown day
    virtual void td_caption() = 0; // "今天：" or "日期：" and the shown day
    virtual void td_clear() = 0;   // empties the view
    virtual void td_showday() = 0; // fills the view with the shown day's things
    virtual void showMainWindow() = 0; // makes the main window visible and active again

    // Shows day: writes the shown day first, then moves. False when the write was refused and the
    // main window stays where it is.
    [[nodiscard]] virtual bool goToDay(QDate day) = 0;
};
