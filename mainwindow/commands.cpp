// What the user does in the main window: editing, moving between days, the day commands. Each
// handler passes the command on to the shown day and shows what comes of it.
#include "frm_main.h"

#include "aboutbox.h"
#include "closing.h"
#include "frm_clock.h"
#include "frm_date.h"
#include "frm_search.h"
#include "markimage.h"
#include "prompts.h"
#include "thingedit.h"
#include "timesource.h"
#include "windowsync.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>

void frm_main::txt_things_Change(int)
{
    m_day.markDirty();
    refreshCommands();
}

void frm_main::txt_things_Enter(int index)
{
    txt_things[size_t(index < 4 ? index + 1 : 0)]->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
}

void frm_main::img_thingOK_Click(int index)
{
    if (m_day.isReadOnly())
        return;
    m_day.markDirty();
    setMark(index, !img_thingOK[size_t(index)]->shows(img_checkOK->pixmap()));
    refreshCommands();
}

void frm_main::cmd_lastday_Click()
{
    [[maybe_unused]] const bool moved = goToDay(m_day.shownDate().addDays(-1)); // a refusal was told
}

void frm_main::cmd_nextday_Click()
{
    [[maybe_unused]] const bool moved = goToDay(m_day.shownDate().addDays(1)); // a refusal was told
}

void frm_main::lbl_returntoday_Click()
{
    // Carried out in full even when today is shown: the view is written and rebuilt.
    [[maybe_unused]] const bool moved = goToDay(m_time.today()); // a refusal was told
}

void frm_main::cmd_select_Click()
{
    if (!m_day.writeShownDay())
        return; // the calendar would move away from a day that is not kept
    frm_date::open(m_day.dayFile().table(), m_time, *this); // a pick changes this window through goToDay
}

void frm_main::menu_copytonextday_Click()
{
    m_commands.copyToNextDay(); // a refusal or a No was told or asked
    refreshCommands();
}

void frm_main::menu_clearthisday_Click()
{
    m_commands.clearDay(); // a refusal or a No was told or asked
    refreshCommands();
}

void frm_main::menu_undo_Click()
{
    m_commands.undo(); // nothing to undo is a beep; a refusal was told
    refreshCommands();
}

void frm_main::menu_conflicts_Click()
{
    m_day.folder().offerHeld(QStringLiteral("这些事两边都改了，还没有决定保留哪一份。选择之前，日程文件里是另一份的内容，"
                                   "这台电脑的内容显示在窗口中，并存放在日程文件旁边："));
    refreshCommands();
}

void frm_main::refreshCommands()
{
    const QString undoable = m_commands.undoable();
    menu_undo->setEnabled(!undoable.isEmpty());
    menu_undo->setText(undoable.isEmpty() ? QStringLiteral("撤销") : QStringLiteral("撤销%1").arg(undoable));
    for (QAction *writes : {menu_copytonextday, menu_clearthisday, menu_save})
        writes->setEnabled(!m_day.isReadOnly());
    const size_t waiting = m_day.held().size();
    menu_conflicts->setVisible(waiting > 0);
    menu_conflicts->setText(waiting > 0 ? QStringLiteral("两边都改过的事（%1）…").arg(waiting)
                                        : QStringLiteral("两边都改过的事…"));
}

bool frm_main::goToDay(QDate day)
{
    const bool moved = m_day.goToDay(day);
    refreshCommands();
    return moved;
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
    m_prompts.inform(m_devTools.loadBulk());
}

void frm_main::Command2_Click()
{
    m_prompts.inform(m_devTools.saveBulk());
}

void frm_main::showSearch()
{
    if (!m_search) // kept when closed, so that it opens again where the user left it
        m_search = new frm_search(m_day.dayFile().table(), *this, this);
    m_search->showAndFocusQuery();
}

void frm_main::selectInThing(int thingNo, qsizetype first, qsizetype count)
{
    showMainWindow();
    ThingEdit *box = txt_things[size_t(std::clamp(thingNo, 1, 5) - 1)];
    box->setFocus(Qt::OtherFocusReason);
    box->setSelection(int(first), int(count));
}

void frm_main::showMainWindow()
{
    show();
    raise();
    activateWindow();
}

void frm_main::closeEvent(QCloseEvent *event)
{
    // After a move the old path holds no day file: a save there would make a second one.
    if (!m_movedAway && !closing::mayClose(m_day, m_prompts)) {
        event->ignore();
        return;
    }
    // The program ends with its main window; the about window is modal, so only the clock and the
    // search window can be open.
    if (m_clock)
        m_clock->close();
    if (m_search)
        m_search->close();
    // The next start goes on from where the sync ended; the user hears so, unless the session ends.
    if (m_sync && m_sync->stop() && !isEnding())
        m_prompts.inform(syncwords::cutShortAtClose());
    QMainWindow::closeEvent(event);
}

void frm_main::endSession()
{
    if (m_day.isEnding())
        return;
    m_day.beginEnding();
    close();
    // Also ends a modal window's loop, such as an open calendar or message.
    QCoreApplication::exit(0);
}
