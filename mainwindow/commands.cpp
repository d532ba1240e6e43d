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

bool frm_main::moveTo(QDate day)
{
    // The date type ends at 1 January 100 and 31 December 9999; a step past either is refused
    // before anything changes.
    if (!oledate::inRange(day)) {
        QApplication::beep();
        return false;
    }
    td_save();
    m_pub.ShownDate = day;
    td_caption();
    return true;
}

void frm_main::cmd_lastday_Click()
{
    if (moveTo(m_pub.ShownDate.addDays(-1))) {
        td_clear();
        td_showday();
    }
}

void frm_main::cmd_nextday_Click()
{
    if (moveTo(m_pub.ShownDate.addDays(1))) {
        td_clear();
        td_showday();
    }
}

void frm_main::lbl_returntoday_Click()
{
    td_save();
    m_pub.ShownDate = m_time.today();
    lbl_today->setText(QStringLiteral("今天：") + QLocale().toString(m_pub.ShownDate, QLocale::ShortFormat));
    td_showday();
}

void frm_main::cmd_select_Click()
{
    td_save();
    frm_date::open(m_pub, m_time, *this); // a pick changes this window from within the calendar
}

void frm_main::menu_copytonextday_Click()
{
    const QDate next = m_pub.ShownDate.addDays(1);
    if (!m_prompts.confirm(this, QStringLiteral("本日数据将复制到次日，次日的全部数据将被清空！")))
        return;
    if (!oledate::inRange(next)) {
        QApplication::beep();
        return;
    }
    // The shown day keeps its edits, as it would on any move; then its texts go to the next day.
    td_save();
    m_pub.ShownDate = next;
    td_caption();
    for (int i = 0; i < 5; ++i)
        setMark(i, false);
    Dirty = true;
    td_save();
}

void frm_main::menu_clearthisday_Click()
{
    if (!m_prompts.confirm(this, QStringLiteral("当天的全部数据将被清空！")))
        return;
    td_clear();
    Dirty = true;
    td_save();
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
    const bulkfile::Result r = bulkfile::load(m_bulkFilePath, m_pub.BulkTable);
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
    const bulkfile::Result r = bulkfile::save(m_bulkFilePath, m_pub.BulkTable);
    m_prompts.inform(this, r.ok ? QStringLiteral("OK,10W saved!!!") : QStringLiteral("Bulk save failed: %1").arg(r.error));
}

// A minimal stand-in for the one road that changes the shown day, in the calendar pick's order.
bool frm_main::goToDay(QDate day)
{
    if (!oledate::inRange(day))
        return false;
    td_save();
    m_pub.ShownDate = day;
    td_caption();
    td_clear();
    td_showday();
    return true;
}

void frm_main::showSearch()
{
    if (!m_search) {
        m_search = new frm_search(m_pub, *this, this);
        m_search->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_search->showAndFocusQuery();
}

void frm_main::showMainWindow()
{
    show();
    raise();
    activateWindow();
}
