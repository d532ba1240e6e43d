// What the user does in the main window: editing, moving between days, the day commands.
#include "frm_main.h"

#include "aboutbox.h"
#include "bulkfile.h"
#include "frm_clock.h"
#include "frm_date.h"
#include "frm_search.h"
#include "markimage.h"
#include "module_pub.h"
#include "oledate.h"
#include "prompts.h"
#include "thingedit.h"
#include "timesource.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QMenu>

void frm_main::txt_things_Change(int)
{
    Dirty = true;
}

void frm_main::txt_things_Enter(int index)
{
    txt_things[size_t(index < 4 ? index + 1 : 0)]->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
}

void frm_main::img_thingOK_Click(int index)
{
    Dirty = true;
    setMark(index, !img_thingOK[size_t(index)]->shows(img_checkOK->pixmap()));
}

bool frm_main::writeShownDay()
{
    const DayThings things = viewThings();
    return tell(td_save(), things);
}

void frm_main::saveByHand()
{
    const DayThings things = viewThings();
    // The user asked for this save: every failure is told, and nothing else depends on it.
    [[maybe_unused]] const bool taken = tell(td_save(), things, true);
}

bool frm_main::goToDay(QDate day)
{
    return moveTo(day, nullptr);
}

// The one road for changing the shown day: write the shown day, then ShownDate, caption and view.
// Nothing changes unless the day book took the shown day. With carried, the view keeps its
// texts and they become the new day's things, not done (the copy to the next day).
bool frm_main::moveTo(QDate day, const DayThings *carried)
{
    // The date type ends at 1 January 100 and 31 December 9999; a step past either is refused
    // before anything changes.
    if (!oledate::inRange(day)) {
        QApplication::beep();
        return false;
    }
    if (!writeShownDay())
        return false;
    if (carried && !tell(saveThings(day, *carried), *carried))
        return false;
    m_pub.ShownDate = day;
    td_caption();
    if (carried) {
        for (size_t i = 0; i < 5; ++i) {
            txt_things[i]->setThingText((*carried)[i].text); // the same texts, without a hint of the design
            setMark(int(i), false);
        }
        m_designShown = false;
        Dirty = false;
    } else {
        td_showday();
    }
    return true;
}

void frm_main::cmd_lastday_Click()
{
    [[maybe_unused]] const bool moved = goToDay(m_pub.ShownDate.addDays(-1)); // a refusal was told
}

void frm_main::cmd_nextday_Click()
{
    [[maybe_unused]] const bool moved = goToDay(m_pub.ShownDate.addDays(1)); // a refusal was told
}

void frm_main::lbl_returntoday_Click()
{
    // Carried out in full even when today is shown: the view is written and rebuilt.
    [[maybe_unused]] const bool moved = goToDay(m_time.today()); // a refusal was told
}

void frm_main::cmd_select_Click()
{
    if (!writeShownDay())
        return; // the calendar would move away from a day that is not kept
    frm_date::open(m_pub.dayFile.table(), m_time, *this); // a pick changes this window through goToDay
}

void frm_main::menu_copytonextday_Click()
{
    if (!m_prompts.confirm(this, QStringLiteral("本日数据将复制到次日，次日的全部数据将被清空！")))
        return;
    // The shown day keeps its edits, as it would on any move; then its texts go to the next day.
    DayThings carried = viewThings();
    for (ThingInput &thing : carried)
        thing.done = false;
    [[maybe_unused]] const bool moved = moveTo(m_pub.ShownDate.addDays(1), &carried); // a refusal was told
}

void frm_main::menu_clearthisday_Click()
{
    if (!m_prompts.confirm(this, QStringLiteral("当天的全部数据将被清空！")))
        return;
    // Written before the view empties, so that a refusal leaves the view as it was.
    const DayThings empty{};
    if (!tell(saveThings(m_pub.ShownDate, empty), empty))
        return;
    td_clear();
    Dirty = false;
}

void frm_main::menu_about_Click()
{
    m_about->show();
}

void frm_main::cmd_edit_Click()
{
    menu_edit->popup(QCursor::pos());
}

void frm_main::Command3_Click()
{
    if (!m_clock) {
        m_clock = new frm_clock(m_time);
        m_clock->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_clock->show();
    m_clock->raise();
}

void frm_main::Command1_Click()
{
    const bulkfile::Result r = bulkfile::load(m_pub.fileOps, m_bulkFilePath, m_pub.BulkTable);
    if (!r.ok)
        m_prompts.inform(this, QStringLiteral("Bulk load failed: %1").arg(r.error));
    else if (r.records < BulkTable::BulkCapacity)
        m_prompts.inform(this, QStringLiteral("Only %1 records loaded: %2 is shorter than 100000 records.")
                                   .arg(r.records)
                                   .arg(QDir::toNativeSeparators(m_bulkFilePath)));
    else
        m_prompts.inform(this, QStringLiteral("10W loaded!!!"));
}

void frm_main::Command2_Click()
{
    bulkfile::fillForTest(m_pub.BulkTable, m_time);
    const bulkfile::Result r = bulkfile::save(m_pub.fileOps, m_bulkFilePath, m_pub.BulkTable);
    m_prompts.inform(this, r.ok ? QStringLiteral("OK,10W saved!!!") : QStringLiteral("Bulk save failed: %1").arg(r.error));
}

void frm_main::showSearch()
{
    if (!m_search) {
        m_search = new frm_search(m_pub.dayFile.table(), *this, this);
        m_search->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_search->showAndFocusQuery();
}

QDate frm_main::shownDate() const
{
    return m_pub.ShownDate;
}

void frm_main::showMainWindow()
{
    show();
    raise();
    activateWindow();
}
