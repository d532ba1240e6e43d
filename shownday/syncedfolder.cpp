#include "syncedfolder.h"

#include "errorwords.h"
#include "prompts.h"
#include "shownday.h"

#include <QFileInfo>
#include <QScopedValueRollback>

SyncedFolder::SyncedFolder(ShownDay &day, DayFile &dayFile, FileOps &ops, Prompts &prompts)
    : m_day(day), m_dayFile(dayFile), m_prompts(prompts), m_merge(dayFile, ops, prompts), m_watch([this] { fileChanged(); })
{
}

void SyncedFolder::watch()
{
    m_watch.watch(m_dayFile.path());
}

bool SyncedFolder::replacedOnDisk() const
{
    const DayFile::State state = m_dayFile.state();
    return state != DayFile::State::Unloaded && state != DayFile::State::Blocked && state != DayFile::State::ReadOnly
        && QFileInfo::exists(m_dayFile.path()) && !m_dayFile.fileOnDiskIsOurs();
}

SaveReport SyncedFolder::mergeReplaced(bool mayAsk)
{
    SaveReport report;
    {
        const QScopedValueRollback merging(m_merging, true);
        report = m_merge.mergeReplacement(mayAsk);
        // Replaced once more while the user was asked: merged too, the held things with its versions.
        for (int again = 0; again < 3 && replacedOnDisk(); ++again)
            report = m_merge.mergeReplacement(mayAsk);
    }
    tellWhenNotHeldAside();
    // At once, whatever road merged: nothing may read the view's old versions as this side's.
    m_day.showMergedBook(true);
    return report;
}

bool SyncedFolder::catchUp()
{
    if (!replacedOnDisk())
        return true;
    const DayThings things = m_day.shownThings();
    SaveReport report = m_day.isDirty() ? m_day.save() : SaveReport{}; // a save merges what it finds
    if ((report.status == SaveReport::Status::OnDisk || report.status == SaveReport::Status::NotOnDisk) && replacedOnDisk())
        report = mergeReplaced(true);
    if (!m_day.tell(report, things))
        return false;
    m_day.showWhatTheBookHolds();
    return true;
}

void SyncedFolder::tellWhenNotHeldAside()
{
    if (m_merge.held().isKept()) {
        m_heldTroubleTold = false;
        return;
    }
    if (m_heldTroubleTold || m_day.isEnding())
        return;
    m_heldTroubleTold = true;
    m_prompts.inform(QStringLiteral("两边都改过、还没有决定保留哪一份的事，这台电脑的版本无法存放到日程文件旁边：\n%1\n\n"
                                    "它们还留在程序中。请在关闭窗口之前作出选择（编辑 → 两边都改过的事）。")
                         .arg(errorwords::describe(m_merge.held().problem())));
}

void SyncedFolder::offerHeld(const QString &about)
{
    if (m_merge.held().empty() || m_day.isEnding() || m_day.isReadOnly())
        return;
    if (!m_day.writeShownDay())
        return; // this computer's version is what the view holds: refused, it is told
    SaveReport report;
    {
        const QScopedValueRollback merging(m_merging, true);
        [[maybe_unused]] const FolderMerge::Answer answer = m_merge.decideHeld(about, &report); // shown below
    }
    tellWhenNotHeldAside();
    if (replacedOnDisk()) // replaced while the user chose: the choices are held on, against its versions
        report = mergeReplaced(true);
    // A refused choice names the characters of this computer's version, which stays held.
    [[maybe_unused]] const bool chosen =
        m_day.tell(report, m_day.bookThings(report.refusedDay.isValid() ? report.refusedDay : m_day.shownDate()));
    m_day.showMergedBook();
}

void SyncedFolder::offerConflictCopies()
{
    if (m_day.isEnding() || m_day.isReadOnly() || m_dayFile.state() == DayFile::State::Blocked)
        return;
    const QStringList copies = m_merge.newCopies();
    if (copies.isEmpty() || (m_day.isDirty() && !m_day.writeShownDay())) // the view's edits meet the copies as this side's
        return;
    bool merged = false;
    {
        const QScopedValueRollback merging(m_merging, true);
        merged = m_merge.offerCopies(copies);
    }
    if (merged)
        m_day.showMergedBook();
}

void SyncedFolder::fileChanged()
{
    watch();
    if (m_day.isAsking() || m_day.isEnding() || m_day.isReadOnly() || m_dayFile.state() == DayFile::State::Unloaded)
        return; // while closing asks, the next save finds the file replaced and merges it
    // A file deleted is written back whole by the next save; one being written is looked at later.
    if (!m_day.isDirty()) {
        [[maybe_unused]] const bool merged = catchUp(); // a failure was told
    }
    offerConflictCopies();
}
