// Where the day file is kept, in the edit menu: it shows the path and moves the day file, with
// what belongs to it, into a folder the user picks (a synced folder, say). The lock, the running
// window's name and the sync are all bound to the path, so the program then starts again on the
// day file at its new place rather than rebind each of them.
#include "frm_main.h"

#include "dayfilelocation.h"
#include "dayfilemove.h"
#include "errorwords.h"
#include "fileops.h"
#include "prompts.h"
#include "windowsync.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString native(const QString &path) { return QDir::toNativeSeparators(path); }

QString listed(const QStringList &paths)
{
    QStringList lines;
    for (const QString &path : paths)
        lines << native(path);
    return lines.join(u'\n');
}

QString whyNotMoved(const MoveReport &report, const QString &dayFile, const QString &folder)
{
    switch (report.status) {
    case MoveReport::Status::SameFolder:
        return QStringLiteral("日程文件已经在这个文件夹里了：\n%1").arg(native(folder));
    case MoveReport::Status::NotAFolder:
        return QStringLiteral("找不到这个文件夹：\n%1").arg(native(folder));
    case MoveReport::Status::TargetTaken:
        return QStringLiteral("这个文件夹里已经有一个同名的文件，为了不覆盖它，日程文件没有移动：\n%1\n\n"
                              "如果它是另一台电脑同步过来的日程，请先把它移走或改名，再移动。")
            .arg(native(report.obstacle));
    case MoveReport::Status::IsALink:
        return QStringLiteral("日程文件是一个链接，Tallyleaf 不移动链接：\n%1\n\n请移动它指向的文件。").arg(native(dayFile));
    case MoveReport::Status::Failed:
    case MoveReport::Status::Missing:
    case MoveReport::Status::Moved:
        break;
    }
    QString text = QStringLiteral("日程文件没有移动，原来的文件都在原处：\n%1\n\n%2")
                       .arg(native(dayFile), errorwords::describe(report.problem));
    if (!report.leftBehind.isEmpty())
        text += QStringLiteral("\n\n新文件夹里还留下了下面这些没能删除的文件，可以手动删除：\n%1").arg(listed(report.leftBehind));
    return text;
}

} // namespace

void frm_main::menu_dayfilelocation_Click()
{
    const QString path = m_day.dayFile().path();
    if (!m_prompts.confirm(QStringLiteral("日程文件保存在：\n%1\n\n要把它移到另一个文件夹吗？例如 Syncthing、Nextcloud 或 "
                                          "Dropbox 同步的文件夹。")
                               .arg(native(path))))
        return;
    const QString folder = m_home.pickFolder(QFileInfo(path).absolutePath());
    if (!folder.isEmpty())
        moveDayFileTo(folder);
}

void frm_main::moveDayFileTo(const QString &folder)
{
    const QString from = m_day.dayFile().path();
    // Nothing may write the day file while it moves, nor hold what the user has not decided.
    if (!m_day.held().empty())
        return m_prompts.inform(QStringLiteral("还有在两处改得不同、尚未决定保留哪一份的事项。请先作出选择"
                                               "（编辑 → 两边都改过的事），再移动日程文件。"));
    if (m_sync && m_sync->state() == WindowSync::State::Running)
        return m_prompts.inform(QStringLiteral("正在与日历服务器同步，请等同步结束后再移动日程文件。"));
    struct stat st;
    const bool exists = m_ops.lstat(from, &st) == 0;
    if (exists && m_day.isReadOnly())
        return m_prompts.inform(QStringLiteral("日程文件现在只能读取，不能移动：\n%1").arg(native(from)));
    if (!m_day.writeShownDay())
        return; // told
    if (m_day.dayFile().hasPending())
        return m_prompts.inform(QStringLiteral("有些日子还没能写入磁盘，日程文件现在不能移动：\n%1\n\n"
                                               "请先用“手动保存”保存成功，再移动。")
                                    .arg(native(from)));

    // Recorded first, with the folder the day file is in now: a move cut off anywhere is then still
    // found (see dayfilelocation.h).
    const ChosenFolder before = m_home.setting ? m_home.setting->read() : ChosenFolder{};
    if (m_home.setting && !m_home.setting->write({QFileInfo(from).absolutePath(), folder}))
        return m_prompts.inform(QStringLiteral("无法保存设置，日程文件没有移动。"));
    const MoveReport report = moveDayFile(m_ops, from, folder);
    const QString newPath = QDir(folder).filePath(QFileInfo(from).fileName());
    switch (report.status) {
    case MoveReport::Status::Moved:
        // Not durable: the setting keeps naming both folders, and the rule follows the day file
        // to whichever one the disk kept after a power cut.
        if (m_home.setting && report.durable) {
            // When this fails the setting still leads to the new folder.
            [[maybe_unused]] const bool written = m_home.setting->write({folder, QString()});
        }
        emit dayFileMoved(from, report.newPath);
        return leaveForMovedDayFile(report.newPath, report.leftBehind);
    case MoveReport::Status::Missing:
        // Nothing to move (a folder that is gone, say): from now on the day file in that folder.
        if (!m_prompts.confirm(QStringLiteral("这里没有日程文件：\n%1\n\n以后使用这个文件夹里的日程文件吗？\n%2")
                                   .arg(native(from), native(newPath))))
            break;
        if (m_home.setting && !m_home.setting->write({folder, QString()})) {
            m_prompts.inform(QStringLiteral("无法保存设置，日程文件的位置没有改变。"));
            break;
        }
        return leaveForMovedDayFile(newPath, {});
    default:
        m_prompts.inform(whyNotMoved(report, from, folder));
        break;
    }
    // The marker names a folder without the day file, which the rule passes over if this fails.
    if (m_home.setting) {
        [[maybe_unused]] const bool written = m_home.setting->write(before);
    }
}

void frm_main::leaveForMovedDayFile(const QString &newPath, const QStringList &leftBehind)
{
    m_movedAway = true;
    m_day.beginEnding(); // a change seen at the old path is no longer this program's business
    if (m_sync) // a move is refused while a sync runs: none is cut short here
        [[maybe_unused]] const bool wasRunning = m_sync->stop();
    if (!leftBehind.isEmpty())
        m_prompts.inform(QStringLiteral("日程文件已移到：\n%1\n\n原来的文件夹里下面这些文件没能删除，它们已经没有用了，可以手动删除：\n%2")
                             .arg(native(newPath), listed(leftBehind)));
    if (!m_home.restart(newPath))
        m_prompts.inform(QStringLiteral("日程文件已移到：\n%1\n\nTallyleaf 没能自动重新启动，请再次启动它。").arg(native(newPath)));
    close();
    QCoreApplication::exit(0);
}
