#pragma once

#include "daythings.h"

#include <QDate>
#include <QString>
#include <optional>

class Prompts;
class ShownDay;

// The edit menu's day commands on the shown day: copy it to the next day, clear it, and undo the
// last of them. Each asks first, merges a day file another computer put in place before it works
// from what the view shows, writes through the shown day's save rules and ends in its one road to
// the view.
class DayCommands
{
public:
    DayCommands(ShownDay &day, Prompts &prompts) : m_day(day), m_prompts(prompts) {}

    // Asks, then writes the shown day and its texts, not done, as the next day, in one save, and
    // shows the next day with those texts. False when the user said no or the day book refused.
    bool copyToNextDay();
    // Asks, then writes the shown day empty and shows it.
    bool clearDay();

    // The last clear or copy taken back, as a save of what it replaced, while nothing was changed
    // or shown since (an edit, a move, a change from elsewhere). What the undo would take back, for
    // a menu ("清空全天"), or nothing.
    bool canUndo() const;
    QString undoable() const;
    bool undo();

private:
    // What an undo puts back: the day's things before the command, and the day shown before it.
    struct Undo
    {
        QString command;
        QDate day;
        DayThings things;
        QDate shownBefore;
        quint64 changes = 0; // the shown day's count of changes the command left
    };
    // Ends a command that wrote: the day shown, and what an undo would take back, unless another
    // computer's file came in with the save (its changes are not the command's to take back).
    void done(std::optional<Undo> undo, quint64 changesBefore, QDate shown);

    ShownDay &m_day;
    Prompts &m_prompts;
    std::optional<Undo> m_undo;
};
