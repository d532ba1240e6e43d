#pragma once

#include "dayfile.h"
#include "syncedfolder.h"

#include <QDate>
#include <QScopedValueRollback>
#include <functional>
#include <set>

class DayView;
class FileOps;
class Prompts;
class TimeSource;

// The day the main window shows, and its save rules: which day it is (the only writer of that
// date), whether it changed since it was shown or written (Dirty), when and how it is written into
// the day book, and what the user is told about each save. The window is a view of it: it passes
// on edits and commands and shows what it is told to. The day commands (DayCommands), closing
// (closing.h) and changes from a calendar server (outsidechanges.h) work through it.
//
// Changing the shown day always runs the same road (goToDay): write the shown day, and only when
// the day book took it, change the date, the caption and the view. A day the day book refuses
// (no GBK form, a full book) keeps the view as it is and Dirty set.
//
// Every road that writes or merges (a save, a move, a command, the calendar, closing, a file
// replaced by another computer's copy, a change from a calendar server, a choice between two
// versions) ends in one step, showWhatTheBookHolds: the view shows the day book's day with the
// held versions laid over it, so that it never holds a version the file has lost.
//
// The day file may live in a folder a sync tool shares with another computer (SyncedFolder): a file
// replaced behind the program's back is merged with what this side holds, and it is watched, so
// that the other computer's days appear while the user is idle.
class ShownDay
{
public:
    ShownDay(DayFile &dayFile, FileOps &ops, const TimeSource &time, Prompts &prompts, DayView &view);

    QDate shownDate() const { return m_date; }
    bool isDirty() const { return m_dirty; }
    const DayFile &dayFile() const { return m_dayFile; }
    const LoadReport &lastLoad() const { return m_lastLoad; }
    // The day file is only read this time: nothing shown can be changed.
    bool isReadOnly() const { return m_dayFile.state() == DayFile::State::ReadOnly; }

    // An edit or a tick in the view. The view filled by the controller is no edit, even where a
    // close comes in while it fills.
    void markDirty();
    // Counts every edit, move and change that came from elsewhere: a command can be undone only
    // while the count stays where the command left it.
    quint64 changes() const { return m_changes; }

    // Start-up: today and its caption, the day file read, what this computer held between two
    // versions taken back, and the day shown. The view is not shown from the day file when
    // nothing could be read.
    void start();
    // What start-up found of the day file, told when there is anything to tell.
    void tellWhatTheLoadFound();
    // Reads the day file anew and shows the shown day; what the load found is told.
    void reload();

    // The caption: "今天：" or "日期：" and the date.
    void showCaption();
    // The one step every road ends in (see above). A box whose text the day book holds as it
    // stands (spaces trimmed) is left as typed; while the day has edits not written yet (Dirty), a
    // box the user changed is left alone too, and the rest show the book.
    void showWhatTheBookHolds();
    // The shown day's things as the view holds them, edits not saved yet included.
    DayThings shownThings() const;
    // A day as the book shows it: the day file's with the held versions laid over it.
    DayThings bookThings(QDate day) const;

    // Writes the view into the day book as the shown day's five things, unless it was shown empty
    // and left untouched; tells the user nothing and shows nothing. Dirty is cleared when the day
    // book took it.
    [[nodiscard]] SaveReport save();
    // save(), then the user is told what went wrong, and the view shows what the book holds. True
    // when the day book took the day.
    [[nodiscard]] bool writeShownDay();
    // The same, every failure told, asked for by the user; a question the user cancelled before is
    // asked again.
    void saveByHand();
    // Days written by a command, held back where the user has not decided yet, a replaced file
    // merged (see heeded).
    [[nodiscard]] SaveReport saveDays(std::vector<std::pair<QDate, DayThings>> days);
    // Tells the user what a save of things did, a disk failure only once until a save succeeds
    // (every time when byHand); true when the day book took the things.
    [[nodiscard]] bool tell(const SaveReport &report, const DayThings &things, bool byHand = false);

    // The one road for changing the shown day (see above). False when the shown day could not be
    // taken or day is outside the date range (the user has been told, or heard a beep).
    [[nodiscard]] bool goToDay(QDate day);
    // Shows day as the book holds it, after a command wrote what the view held.
    void showWrittenDay(QDate day);
    // The day book was merged with another copy, or a choice between two versions was carried out
    // (reloaded: the day file was read anew for it): a change from elsewhere, shown.
    void showMergedBook(bool reloaded = false);
    // A beep, for a step that cannot be taken.
    void refuse();

    // Called after every save of a change to the day book (not after one that only sent out what
    // the disk owed), so that others can follow the day book's changes.
    void setAfterChange(std::function<void()> afterChange) { m_afterChange = std::move(afterChange); }

    // The day file's folder, shared with other computers (see SyncedFolder), and the things held
    // between two versions until the user chooses.
    SyncedFolder &folder() { return m_folder; }
    const HeldThings &held() const { return m_folder.merge().held(); }
    bool holds(QDate day, qint32 number) const { return held().holds({day, number}); }
    std::set<ThingKey> heldKeys() const { return held().keys(); }

    // Whether the user is being asked about the day file (a merge, closing): the day book is not
    // to be written from elsewhere meanwhile.
    bool isAsking() const { return m_folder.isMerging() || m_closing; }
    [[nodiscard]] QScopedValueRollback<bool> closing() { return QScopedValueRollback<bool>(m_closing, true); }
    // The session ends (a signal, a logout): closing asks nothing from now on.
    void beginEnding() { m_ending = true; }
    bool isEnding() const { return m_ending; }

private:
    // Saves and their follow-ups: a day file deleted or replaced behind the program's back.
    // changes: the save held changes (every save but the one of what the disk still owed).
    [[nodiscard]] SaveReport heeded(SaveReport report, bool changes = true);
    [[nodiscard]] SaveReport flushHeldBack();
    void changeDate(QDate day);
    void loaded(LoadReport report);

    DayFile &m_dayFile;
    const TimeSource &m_time;
    Prompts &m_prompts;
    DayView &m_view;
    SyncedFolder m_folder;
    bool m_closing = false; // closing is asking the user: changes seen meanwhile wait
    LoadReport m_lastLoad;

    QDate m_date = QDate(1899, 12, 30); // ShownDate: day 0 until start-up sets today
    DayThings m_shown;                  // the book's day as last shown, for the edits made since
    bool m_dirty = false;               // Dirty
    bool m_filling = false;             // the view is being filled
    bool m_diskTroubleTold = false;     // a disk failure was told and no save has reached the disk since
    bool m_ending = false;
    quint64 m_changes = 0;
    std::function<void()> m_afterChange;
};
