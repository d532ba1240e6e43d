#include "daycommands.h"

#include "oledate.h"
#include "prompts.h"
#include "shownday.h"

#include <algorithm>

namespace {

bool hasContent(const DayThings &things)
{
    return std::any_of(things.begin(), things.end(), [](const ThingInput &t) { return !t.isEmpty(); });
}

} // namespace

bool DayCommands::copyToNextDay()
{
    if (!m_prompts.confirm(QStringLiteral("本日数据将复制到次日，次日的全部数据将被清空！")))
        return false;
    const QDate today = m_day.shownDate();
    const QDate next = today.addDays(1);
    if (!oledate::inRange(next)) {
        m_day.refuse();
        return false;
    }
    if (!m_day.folder().catchUp()) // what is copied is what the book holds, another computer's changes in it
        return false;
    // The shown day keeps its edits, as it would on any move; its texts, not done, become the
    // next day's things. Both go to the disk in one save, or neither.
    const DayThings shown = m_day.shownThings();
    DayThings carried = shown;
    for (ThingInput &thing : carried)
        thing.done = false;
    std::vector<std::pair<QDate, DayThings>> days;
    if (m_day.isDirty() || hasContent(shown)) // a day shown empty and left untouched gets no records
        days.emplace_back(today, shown);
    days.emplace_back(next, carried);
    Undo undo{QStringLiteral("复制到次日"), next, m_day.bookThings(next), today};
    const quint64 before = m_day.changes();
    const SaveReport report = m_day.saveDays(days);
    if (!m_day.tell(report, report.refusedDay == today ? shown : carried))
        return false;
    done(undo, before, next);
    return true;
}

bool DayCommands::clearDay()
{
    if (!m_prompts.confirm(QStringLiteral("当天的全部数据将被清空！")))
        return false;
    if (!m_day.folder().catchUp())
        return false;
    // Written before the view empties, so that a refusal leaves the view as it was.
    const QDate day = m_day.shownDate();
    Undo undo{QStringLiteral("清空全天"), day, m_day.shownThings(), day};
    const DayThings empty{};
    const quint64 before = m_day.changes();
    if (!m_day.tell(m_day.saveDays({{day, empty}}), empty))
        return false;
    done(undo, before, day);
    return true;
}

void DayCommands::done(std::optional<Undo> undo, quint64 changesBefore, QDate shown)
{
    const bool merged = m_day.changes() != changesBefore;
    m_day.showWrittenDay(shown);
    m_undo = merged ? std::nullopt : std::move(undo);
    if (m_undo)
        m_undo->changes = m_day.changes();
}

bool DayCommands::canUndo() const
{
    return m_undo && m_day.changes() == m_undo->changes && !m_day.isDirty() && !m_day.isReadOnly();
}

QString DayCommands::undoable() const
{
    return canUndo() ? m_undo->command : QString();
}

bool DayCommands::undo()
{
    // Another computer's file put in place since is merged first; what it changed ends the undo.
    if (!canUndo() || !m_day.folder().catchUp() || !canUndo()) {
        m_day.refuse();
        return false;
    }
    const Undo undo = *m_undo;
    if (!m_day.tell(m_day.saveDays({{undo.day, undo.things}}), undo.things))
        return false;
    m_undo.reset();
    m_day.showWrittenDay(undo.shownBefore);
    return true;
}
