#pragma once

#include "dayfile.h"
#include "foldermerge.h"

#include <QDate>
#include <QFileSystemWatcher>
#include <QTimer>
#include <functional>
#include <optional>

class DayView;
class FileOps;
class Prompts;
class TimeSource;

// The day the main window shows, and every rule about it: which day it is (the only writer of
// that date), whether it changed since it was shown or written (Dirty), when and how it is
// written into the day book, what the user is told about each save, and closing. The window
// is a view of it: it passes on edits and commands and shows what it is told to.
//
// Changing the shown day always runs the same road (goToDay): write the shown day, and only when
// the day book took it, change the date, the caption and the view. A day the day book refuses
// (no GBK form, a full book) keeps the view as it is and Dirty set.
//
// The day file may live in a folder a sync tool shares with another computer: a file replaced
// behind the program's back is merged with what this side holds (FolderMerge), and it is watched,
// so that the other computer's days appear while the user is idle.
class ShownDay
{
public:
    ShownDay(DayFile &dayFile, FileOps &ops, const TimeSource &time, Prompts &prompts, DayView &view);

    QDate shownDate() const { return m_date; }
    bool isDirty() const { return m_dirty; }
    const DayFile &dayFile() const { return m_dayFile; }
    const LoadReport &lastLoad() const { return m_lastLoad; }

    // An edit or a tick in the view. It ends what an undo could take back. The view filled with a
    // day (showDay) is no edit, even where a close comes in while it fills.
    void markDirty()
    {
        if (m_filling)
            return;
        m_dirty = true;
        m_undo.reset();
    }
    // The day file is only read this time: nothing shown can be changed.
    bool isReadOnly() const { return m_dayFile.state() == DayFile::State::ReadOnly; }

    // Start-up: today and its caption, the day file read and shown, then what start-up found
    // told. The view is not shown from the day file when nothing could be read.
    void start();

    // The day view's operations: the caption ("今天：" or "日期：" and the date), and the view
    // filled from the day book, Dirty cleared.
    void showCaption();
    void showDay();

    // What start-up found of the day file, told when there is anything to tell.
    void tellWhatTheLoadFound();
    // Conflict copies that sync tools left beside the day file, offered to be merged in.
    void offerConflictCopies();
    // The file on disk or its folder changed: another program's file is merged in now when the
    // shown day has no unsaved edit (then the next save does it), and new conflict copies offered.
    void fileChanged();
    const FolderMerge &folderMerge() const { return m_merge; }

    // Reads the day file anew and shows the shown day; what the load found is told.
    void reload();

    // The shown day's things as the view holds them, edits not saved yet included.
    DayThings shownThings() const;
    // Whether the user is being asked about the day file (a merge, closing): the day book is not
    // to be written from elsewhere meanwhile.
    bool isAsking() const { return m_merging || m_closing; }
    // Things changed elsewhere (a calendar server), written into the day book in one save; a
    // change to the shown day goes in with what the view holds of its other things, and the view
    // shows it. Nothing is written when the file was replaced meanwhile: that file is merged
    // first (see heeded), and the report says Replaced. A thing held between two versions is not
    // changed from elsewhere (see holds): the user decides it first.
    struct ThingChange
    {
        QDate day;
        qint32 number = 0; // 1 to 5
        ThingInput thing;
    };
    [[nodiscard]] SaveReport bringIn(const std::vector<ThingChange> &changes);
    bool holds(QDate day, qint32 number) const { return m_merge.holds(day, number); }
    // Called after every save of a change to the day book (not after one that only sent out what
    // the disk owed), so that others can follow the day book's changes.
    void setAfterChange(std::function<void()> afterChange) { m_afterChange = std::move(afterChange); }

    // Writes the view into the day book as the shown day's five things, unless it was shown empty
    // and left untouched; tells the user nothing. Dirty is cleared when the day book took it.
    [[nodiscard]] SaveReport save();
    // save(), then the user is told what went wrong. True when the day book took the day.
    [[nodiscard]] bool writeShownDay();
    // The same, and every failure told, asked for by the user.
    void saveByHand();

    // The one road for changing the shown day (see above). False when the shown day could not be
    // taken or day is outside the date range (the user has been told, or heard a beep).
    [[nodiscard]] bool goToDay(QDate day);

    // Asks, then writes the shown day and its texts, not done, as the next day, in one save, and
    // shows the next day with those texts. False when the user said no or the day book refused.
    bool copyToNextDay();
    // Asks, then writes the shown day empty and empties the view.
    bool clearDay();

    // The last clear or copy taken back, as a save of what it replaced, while nothing was changed
    // or shown since. What the undo would take back, for a menu ("清空全天"), or nothing.
    bool canUndo() const;
    QString undoable() const;
    bool undo();

    // Closing: the shown day is written a last time; when that fails the user may retry, give the
    // day up or stay. False when the window must stay open. While the session ends nothing is asked.
    [[nodiscard]] bool mayClose();
    // The session ends (a signal, a logout): closing asks nothing from now on.
    void beginEnding() { m_ending = true; }
    bool isEnding() const { return m_ending; }

private:
    // Saves and their follow-ups: a day file deleted or replaced behind the program's back.
    // changes: the save held changes (every save but the one of what the disk still owed).
    [[nodiscard]] SaveReport heeded(SaveReport report, bool changes = true);
    [[nodiscard]] SaveReport flushHeldBack();
    // Days written by a command: what the user has not decided yet stays held (see FolderMerge).
    [[nodiscard]] SaveReport saveHeldBack(std::vector<std::pair<QDate, DayThings>> days);
    // At close, the things held between two versions: asked once more, the rest written aside.
    // False when the user goes back to the window. A save of the choices that the disk still owes
    // goes into report.
    bool settleHeldAtClose(SaveReport &report);
    // Tells the user what a save of things did, a disk failure only once until a save succeeds
    // (every time when byHand); true when the day book took the things.
    [[nodiscard]] bool tell(const SaveReport &report, const DayThings &things, bool byHand = false);
    void changeDate(QDate day);
    void loaded(LoadReport report);
    void watch();

    // What an undo puts back: the day's things before the command, and the day shown after it.
    struct Undo
    {
        QString command;
        QDate day;
        DayThings things;
        QDate shownBefore;
        QDate shownAfter;
    };

    DayFile &m_dayFile;
    const TimeSource &m_time;
    Prompts &m_prompts;
    DayView &m_view;
    FolderMerge m_merge;
    QFileSystemWatcher m_watcher;
    QTimer m_settle; // a file still being written is looked at once it has stood still
    bool m_merging = false; // a merge is asking the user: changes seen meanwhile wait
    bool m_closing = false; // closing is asking the user: the same
    LoadReport m_lastLoad;

    QDate m_date = QDate(1899, 12, 30); // ShownDate: day 0 until start-up sets today
    bool m_dirty = false;               // Dirty
    bool m_filling = false;             // showDay is filling the view
    bool m_diskTroubleTold = false;     // a disk failure was told and no save has reached the disk since
    bool m_ending = false;
    std::optional<Undo> m_undo;
    std::function<void()> m_afterChange;
};
