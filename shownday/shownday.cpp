#include "shownday.h"

#include "dayview.h"
#include "messages.h"
#include "oledate.h"
#include "prompts.h"
#include "thingmerge.h"
#include "timesource.h"

#include <QLocale>
#include <algorithm>

namespace {

bool hasContent(const DayThings &things)
{
    return std::any_of(things.begin(), things.end(), [](const ThingInput &t) { return !t.text.isEmpty() || t.done; });
}

bool taken(const SaveReport &report)
{
    return report.status == SaveReport::Status::OnDisk || report.status == SaveReport::Status::NotOnDisk;
}

// Whether a box holds what the book holds, as the day file keeps it (spaces trimmed).
bool holdsAsStored(const ThingInput &view, const ThingInput &book)
{
    return view == book || thingmerge::storedThing(view) == book;
}

} // namespace

ShownDay::ShownDay(DayFile &dayFile, FileOps &ops, const TimeSource &time, Prompts &prompts, DayView &view)
    : m_dayFile(dayFile), m_time(time), m_prompts(prompts), m_view(view), m_folder(*this, dayFile, ops, prompts)
{
}

void ShownDay::markDirty()
{
    if (m_filling)
        return;
    m_dirty = true;
    ++m_changes;
}

void ShownDay::start()
{
    m_date = m_time.today();
    showCaption(); // always "今天：" here
    LoadReport report = m_dayFile.load();
    if (report.status != LoadReport::Status::CannotOpen && report.status != LoadReport::Status::JournalUnreadable) {
        // What the day book cannot take now stays held, and is put to the user (SyncedFolder::offerHeld).
        [[maybe_unused]] const SaveReport restored = m_folder.merge().restoreHeld();
    }
    loaded(std::move(report));
}

void ShownDay::loaded(LoadReport report)
{
    m_lastLoad = std::move(report);
    ++m_changes;
    m_folder.watch();
    // When nothing could be read the view keeps what it shows; after a partial read it shows
    // what was read (nothing of it can be written over, see DayFile).
    if (m_lastLoad.status != LoadReport::Status::CannotOpen && m_lastLoad.status != LoadReport::Status::JournalUnreadable) {
        m_dirty = false; // the day book was read anew: it is what the view shows
        showWhatTheBookHolds();
    }
    m_view.setReadOnly(isReadOnly());
}

void ShownDay::tellWhatTheLoadFound()
{
    if (const QString text = messages::startup(m_dayFile.path(), m_lastLoad); !text.isEmpty())
        m_prompts.inform(text);
}

void ShownDay::reload()
{
    loaded(m_dayFile.load());
    tellWhatTheLoadFound();
}

void ShownDay::showCaption()
{
    const QString prefix = m_date == m_time.today() ? QStringLiteral("今天：") : QStringLiteral("日期：");
    m_view.showCaption(prefix + QLocale().toString(m_date, QLocale::ShortFormat));
}

DayThings ShownDay::bookThings(QDate day) const
{
    DayThings things = thingsOfDay(m_dayFile.table(), day);
    held().overlay(day, things); // what the user has not decided yet shows this side's version
    return things;
}

void ShownDay::showWhatTheBookHolds()
{
    const DayThings book = bookThings(m_date);
    const DayThings view = m_view.viewThings();
    DayThings shown = book;
    for (size_t k = 0; k < shown.size(); ++k) {
        const bool edited = m_dirty && !holdsAsStored(view[k], m_shown[k]);
        if (edited || holdsAsStored(view[k], book[k]))
            shown[k] = view[k]; // left as typed: the box keeps its caret
    }
    m_shown = book;
    // The view paints as it fills, and a signal that ends the session can be taken then: a day
    // shown empty must not be written as five empty records by the close that follows.
    const QScopedValueRollback filling(m_filling, true);
    m_view.showThings(shown);
}

DayThings ShownDay::shownThings() const
{
    return m_view.viewThings();
}

SaveReport ShownDay::heeded(SaveReport report, bool changes)
{
    if (report.remade && !m_ending) // nobody is there to read it at the end of the session
        m_prompts.inform(messages::remade(m_dayFile.path(), report));
    if (changes && taken(report) && m_afterChange)
        m_afterChange();
    // Another copy of the day file stands in its place: merged, not overwritten. At the end of
    // the session nobody is there to decide a conflict: it is held.
    if (report.status == SaveReport::Status::Replaced && !m_folder.isMerging())
        report = m_folder.mergeReplaced(!m_ending);
    m_folder.tellWhenNotHeldAside(); // the save held this side's version of a held thing back
    return report;
}

SaveReport ShownDay::flushHeldBack()
{
    return heeded(m_dayFile.flushPending(), false);
}

SaveReport ShownDay::saveDays(std::vector<std::pair<QDate, DayThings>> days)
{
    for (auto &[day, things] : days)
        m_folder.merge().held().holdBack(day, things, thingsOfDay(m_dayFile.table(), day));
    return heeded(m_dayFile.saveDays(days));
}

SaveReport ShownDay::save()
{
    const DayThings things = m_view.viewThings();
    // A day shown empty and left untouched gets no records; one that is only read cannot change.
    if (!m_dirty && (!hasContent(things) || isReadOnly()))
        return flushHeldBack();
    DayThings saved = things;
    // What the user has not decided is not written over the file's.
    m_folder.merge().held().holdBack(m_date, saved, thingsOfDay(m_dayFile.table(), m_date));
    SaveReport report = heeded(m_dayFile.saveDay(m_date, saved));
    if (report.status == SaveReport::Status::TableFull && !hasContent(things)
        && m_dayFile.table().recordsOfDay(oledate::fromDate(m_date)).empty()) {
        // A full day book cannot take five empty records, and a day without records shows the
        // same: nothing is lost by leaving it, so the user is not held on it.
        m_dirty = false;
        return flushHeldBack();
    }
    // The day book holds the day; what the disk still owes goes out with a later save.
    if (taken(report) || report.status == SaveReport::Status::Replaced)
        m_dirty = false;
    return report;
}

bool ShownDay::tell(const SaveReport &report, const DayThings &things, bool byHand)
{
    switch (report.status) {
    case SaveReport::Status::OnDisk:
        m_diskTroubleTold = false;
        return true;
    case SaveReport::Status::NotOnDisk:
        // The day book holds the day; moving on loses nothing, so this is told once, not on every move.
        if (byHand || !m_diskTroubleTold)
            m_prompts.inform(messages::diskTrouble(m_dayFile.path(), report, m_dayFile.owedDays())
                             + QStringLiteral("\n\n请检查磁盘空间和文件权限。内容已记下，下次保存时会再次写入。"));
        m_diskTroubleTold = true;
        return true;
    case SaveReport::Status::Replaced:
        return true; // the day book holds the day, and the user was just offered the file on disk
    case SaveReport::Status::TableFull:
    case SaveReport::Status::NoGbkForm:
        m_prompts.inform(messages::refusal(report, things));
        return false;
    }
    return false;
}

bool ShownDay::writeShownDay()
{
    const DayThings things = m_view.viewThings();
    if (!tell(save(), things))
        return false;
    showWhatTheBookHolds();
    return true;
}

void ShownDay::saveByHand()
{
    const DayThings things = m_view.viewThings();
    const bool cancelledBefore = m_folder.merge().asksAgain(); // a question cancelled: this is the next occasion
    if (!tell(save(), things, true))
        return;
    showWhatTheBookHolds();
    if (cancelledBefore && m_folder.merge().asksAgain())
        m_folder.offerHeld(QStringLiteral("这些事两边都改了，还没有决定保留哪一份："));
}

void ShownDay::changeDate(QDate day)
{
    m_date = day;
    ++m_changes;
    showCaption();
}

bool ShownDay::goToDay(QDate day)
{
    // The date type ends at 1 January 100 and 31 December 9999; a step past either is refused
    // before anything changes.
    if (!oledate::inRange(day)) {
        m_view.beep();
        return false;
    }
    const DayThings things = m_view.viewThings();
    if (!tell(save(), things))
        return false;
    showWrittenDay(day);
    return true;
}

void ShownDay::showWrittenDay(QDate day)
{
    m_dirty = false;
    changeDate(day);
    showWhatTheBookHolds();
}

void ShownDay::showMergedBook(bool reloaded)
{
    ++m_changes;
    if (reloaded)
        m_lastLoad = LoadReport{};
    m_view.setReadOnly(isReadOnly());
    showWhatTheBookHolds();
}

void ShownDay::refuse()
{
    m_view.beep();
}
