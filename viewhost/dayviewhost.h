#pragma once

#include "daythings.h"

#include <QDate>

// What other windows may ask of the main window. The main window implements this; the calendar
// and the other windows never include the main window itself.
class DayViewHost
{
public:
    virtual ~DayViewHost() = default;

    // The one road for changing the shown day: writes the shown day, then shows day (date,
    // caption, view). True when day is now shown, also when the day book took the shown day but
    // the disk did not (the user is told once; the slots go out with the next save). False when
    // the shown day could not be taken or day is outside the date range: the user has been told,
    // the window shows what it showed and its changes stay unsaved.
    [[nodiscard]] virtual bool goToDay(QDate day) = 0;

    // The day the main window shows, and its things as they stand on screen, saved or not.
    virtual QDate shownDate() const = 0;
    virtual DayThings shownThings() const = 0;

    // Brings the main window forward with the caret in thing thingNo's box and from characters
    // of its text selected from first on (a search's match).
    virtual void selectInThing(int thingNo, qsizetype first, qsizetype count) = 0;

    // Makes the main window visible and active again.
    virtual void showMainWindow() = 0;
};
