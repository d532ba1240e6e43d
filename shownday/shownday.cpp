#include "shownday.h"

#include "dayview.h"
#include "messages.h"
#include "oledate.h"
#include "prompts.h"
#include "timesource.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QScopedValueRollback>
#include <algorithm>
#include <cstdio>
#include <map>

namespace {

bool hasContent(const DayThings &things)
{
    return std::any_of(things.begin(), things.end(), [](const ThingInput &t) { return !t.text.isEmpty() || t.done; });
}

} // namespace

ShownDay::ShownDay(DayFile &dayFile, FileOps &ops, const TimeSource &time, Prompts &prompts, DayView &view)
    : m_dayFile(dayFile), m_time(time), m_prompts(prompts), m_view(view), m_merge(dayFile, ops, time, prompts)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(700);
    QObject::connect(&m_settle, &QTimer::timeout, [this] { fileChanged(); });
    QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, [this] { m_settle.start(); });
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, [this] { m_settle.start(); });
}

void ShownDay::watch()
{
    // A file replaced by renaming another over it is watched no more: its name is watched anew.
    const QFileInfo file(m_dayFile.path());
    for (const QString &path : {file.absoluteFilePath(), file.absolutePath()}) {
        if (QFileInfo::exists(path) && !m_watcher.files().contains(path) && !m_watcher.directories().contains(path))
            m_watcher.addPath(path);
    }
}

void ShownDay::offerConflictCopies()
{
    if (m_ending || isReadOnly() || m_dayFile.state() == DayFile::State::Blocked)
        return;
    m_merging = true;
    const bool merged = m_merge.offerCopies(m_merge.newCopies());
    m_merging = false;
    if (merged && !m_dirty)
        showDay();
}

void ShownDay::fileChanged()
{
    watch();
    if (isAsking() || m_ending || isReadOnly() || m_dayFile.state() == DayFile::State::Unloaded)
        return; // while closing asks, the next save finds the file replaced and merges it
    // A file deleted is written back whole by the next save; one being written is looked at later.
    if (!m_dirty && QFileInfo::exists(m_dayFile.path()) && !m_dayFile.fileOnDiskIsOurs()) {
        m_merging = true;
        const SaveReport report = m_merge.mergeReplacement(true);
        m_merging = false;
        [[maybe_unused]] const bool taken = tell(report, m_view.viewThings()); // a failure was told
        showDay();
        m_view.setReadOnly(isReadOnly());
    }
    offerConflictCopies();
}

void ShownDay::start()
{
    m_date = m_time.today();
    showCaption(); // always "今天：" here
    loaded(m_dayFile.load());
}

void ShownDay::loaded(LoadReport report)
{
    m_lastLoad = std::move(report);
    m_undo.reset();
    watch();
    // When nothing could be read the view keeps what it shows; after a partial read it shows
    // what was read (nothing of it can be written over, see DayFile).
    if (m_lastLoad.status != LoadReport::Status::CannotOpen && m_lastLoad.status != LoadReport::Status::JournalUnreadable)
        showDay();
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

void ShownDay::showDay()
{
    DayThings things = thingsOfDay(m_dayFile.table(), m_date);
    m_merge.overlayHeld(m_date, things); // what the user has not decided yet shows this side's version
    // The view paints as it fills, and a signal that ends the session can be taken then: a day
    // shown empty must not be written as five empty records by the close that follows.
    const QScopedValueRollback filling(m_filling, true);
    m_view.showThings(things);
    m_dirty = false;
}

SaveReport ShownDay::heeded(SaveReport report, bool changes)
{
    if (report.remade && !m_ending) // nobody is there to read it at the end of the session
        m_prompts.inform(messages::remade(m_dayFile.path(), report));
    const bool taken = report.status == SaveReport::Status::OnDisk || report.status == SaveReport::Status::NotOnDisk;
    if (changes && taken && m_afterChange)
        m_afterChange();
    if (report.status != SaveReport::Status::Replaced || m_merging)
        return report;
    // Another copy of the day file stands in its place: merged, not overwritten. At the end of
    // the session nobody is there to decide a conflict: it is held, and written aside at close.
    m_merging = true;
    report = m_merge.mergeReplacement(!m_ending);
    m_merging = false;
    m_lastLoad = LoadReport{};
    m_view.setReadOnly(isReadOnly());
    return report;
}

SaveReport ShownDay::flushHeldBack()
{
    return heeded(m_dayFile.flushPending(), false);
}

DayThings ShownDay::shownThings() const
{
    return m_view.viewThings();
}

SaveReport ShownDay::bringIn(const std::vector<ThingChange> &changes)
{
    std::map<QDate, DayThings> days;
    for (const ThingChange &change : changes) {
        const auto [day, fresh] = days.try_emplace(change.day);
        if (fresh && change.day == m_date) {
            day->second = m_view.viewThings();
        } else if (fresh) { // held versions over the file's, as the day would be shown
            day->second = thingsOfDay(m_dayFile.table(), change.day);
            m_merge.overlayHeld(change.day, day->second);
        }
        day->second[size_t(change.number - 1)] = change.thing;
    }
    const SaveReport written = saveHeldBack({days.begin(), days.end()});
    if (written.status == SaveReport::Status::Replaced) {
        [[maybe_unused]] const SaveReport merged = heeded(written); // the merge tells the user what it must
        if (!m_dirty || days.count(m_date)) // the view's edits went into the merge with the change
            showDay();
        return written;
    }
    const SaveReport report = heeded(written);
    if (report.status != SaveReport::Status::OnDisk && report.status != SaveReport::Status::NotOnDisk)
        return report;
    if (const auto shown = days.find(m_date); shown != days.end()) {
        m_view.showThings(shown->second);
        m_dirty = false; // the view's edits went in with the change
        m_undo.reset();
    }
    return report;
}

SaveReport ShownDay::saveHeldBack(std::vector<std::pair<QDate, DayThings>> days)
{
    for (auto &[day, things] : days)
        m_merge.holdBack(day, things);
    return m_dayFile.saveDays(days);
}

SaveReport ShownDay::save()
{
    const DayThings things = m_view.viewThings();
    // A day shown empty and left untouched gets no records; one that is only read cannot change.
    if (!m_dirty && (!hasContent(things) || isReadOnly()))
        return flushHeldBack();
    DayThings saved = things;
    m_merge.holdBack(m_date, saved); // what the user has not decided is not written over the file's
    SaveReport report = heeded(m_dayFile.saveDay(m_date, saved));
    if (report.status == SaveReport::Status::TableFull && !hasContent(things)
        && m_dayFile.table().recordsOfDay(oledate::fromDate(m_date)).empty()) {
        // A full day book cannot take five empty records, and a day without records shows the
        // same: nothing is lost by leaving it, so the user is not held on it.
        m_dirty = false;
        return flushHeldBack();
    }
    // The day book holds the day; what the disk still owes goes out with a later save.
    if (report.status == SaveReport::Status::OnDisk || report.status == SaveReport::Status::NotOnDisk
        || report.status == SaveReport::Status::Replaced)
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
    return tell(save(), things);
}

void ShownDay::saveByHand()
{
    const DayThings things = m_view.viewThings();
    // The user asked for this save: every failure is told, and nothing else depends on it.
    [[maybe_unused]] const bool taken = tell(save(), things, true);
}

void ShownDay::changeDate(QDate day)
{
    m_date = day;
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
    if (!writeShownDay())
        return false;
    changeDate(day);
    showDay();
    m_undo.reset();
    return true;
}

bool ShownDay::copyToNextDay()
{
    if (!m_prompts.confirm(QStringLiteral("本日数据将复制到次日，次日的全部数据将被清空！")))
        return false;
    const QDate next = m_date.addDays(1);
    if (!oledate::inRange(next)) {
        m_view.beep();
        return false;
    }
    // The shown day keeps its edits, as it would on any move; its texts, not done, become the
    // next day's things. Both go to the disk in one save, or neither.
    const DayThings shown = m_view.viewThings();
    DayThings carried = shown;
    for (ThingInput &thing : carried)
        thing.done = false;
    std::vector<std::pair<QDate, DayThings>> days;
    if (m_dirty || hasContent(shown)) // a day shown empty and left untouched gets no records
        days.emplace_back(m_date, shown);
    days.emplace_back(next, carried);
    Undo undo{QStringLiteral("复制到次日"), next, thingsOfDay(m_dayFile.table(), next), m_date, next};
    const SaveReport report = heeded(saveHeldBack(days));
    if (!tell(report, report.refusedDay == m_date ? shown : carried))
        return false;
    changeDate(next);
    m_view.showThings(carried); // the same texts, without a hint of the design
    m_dirty = false;
    m_undo = std::move(undo);
    return true;
}

bool ShownDay::clearDay()
{
    if (!m_prompts.confirm(QStringLiteral("当天的全部数据将被清空！")))
        return false;
    // Written before the view empties, so that a refusal leaves the view as it was.
    Undo undo{QStringLiteral("清空全天"), m_date, m_view.viewThings(), m_date, m_date};
    const DayThings empty{};
    if (!tell(heeded(saveHeldBack({{m_date, empty}})), empty))
        return false;
    m_view.showThings(empty);
    m_dirty = false;
    m_undo = std::move(undo);
    return true;
}

bool ShownDay::canUndo() const
{
    return m_undo && !m_dirty && m_date == m_undo->shownAfter && !isReadOnly();
}

QString ShownDay::undoable() const
{
    return canUndo() ? m_undo->command : QString();
}

bool ShownDay::undo()
{
    if (!canUndo()) {
        m_view.beep();
        return false;
    }
    const Undo undo = *m_undo;
    if (!tell(heeded(saveHeldBack({{undo.day, undo.things}})), undo.things))
        return false;
    m_undo.reset();
    if (undo.shownBefore != m_date)
        changeDate(undo.shownBefore);
    showDay();
    return true;
}

// Things both sides changed and the user put off: asked once more, and what is still held is
// written aside as a conflict copy, which the next start offers to merge.
bool ShownDay::settleHeldAtClose(SaveReport &report)
{
    if (!m_ending) {
        SaveReport decided;
        const bool allDecided = m_merge.decideHeld(&decided);
        if (decided.status == SaveReport::Status::NotOnDisk && report.allOnDisk())
            report = decided; // the choices are owed to the disk: retried below like the day
        if (allDecided)
            return true;
    }
    const QString notKept = m_merge.keepHeldAside();
    if (notKept.isEmpty() || m_ending)
        return true;
    return m_prompts.confirm(QStringLiteral("两边都改过、还没有决定保留哪一份的事，无法写入日程文件旁边的冲突副本：\n%1\n%2\n\n"
                                            "仍要关闭吗？关闭后这台电脑的版本将会丢失；取消则回到窗口。")
                                 .arg(QDir::toNativeSeparators(QFileInfo(m_dayFile.path()).absolutePath()), notKept));
}

bool ShownDay::mayClose()
{
    // While closing asks, nothing else writes the day book (a sync waits).
    const QScopedValueRollback asking(m_closing, true);
    const DayThings things = m_view.viewThings();
    SaveReport report = save();
    if (m_merge.hasHeld() && !settleHeldAtClose(report))
        return false;
    while (!m_ending && !report.allOnDisk()) {
        if (report.status == SaveReport::Status::NotOnDisk) {
            const QString text = messages::diskTrouble(m_dayFile.path(), report, m_dayFile.owedDays())
                + QStringLiteral("\n\n请检查磁盘空间和文件权限后重试。如果放弃，这些日子未保存的内容将会丢失；"
                                 "取消则回到窗口。");
            switch (m_prompts.askAboutFailedSave(text)) {
            case Prompts::FailedSave::Retry:
                report = save();
                continue;
            case Prompts::FailedSave::Discard:
                return true;
            case Prompts::FailedSave::Cancel:
                return false;
            }
        }
        // Trying again cannot help: the user may go back and change the day, or give it up.
        const QString why = report.status == SaveReport::Status::Replaced
            ? QStringLiteral("日程文件在程序运行时被替换了，当天和尚未写入的内容没有保存：\n%1")
                  .arg(QDir::toNativeSeparators(m_dayFile.path()))
            : messages::refusal(report, things);
        return m_prompts.confirm(why + QStringLiteral("\n\n仍要关闭吗？关闭后这一天的改动将会丢失。"));
    }
    if (m_ending && !report.allOnDisk()) // nobody is there to ask; say it where the session logs
        std::fprintf(stderr, "tallyleaf: the shown day was not saved: %s\n",
                     qPrintable(report.describe(m_dayFile.path())));
    return true;
}
