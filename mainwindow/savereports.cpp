// What the user is told about saving the shown day, and closing, which saves it a last time.
#include "frm_main.h"

#include "frm_clock.h"
#include "frm_search.h"
#include "gbk.h"
#include "module_pub.h"
#include "prompts.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace {

// The characters of text that have no GBK form, each once, in their order.
QStringList unstorable(const QString &text)
{
    QStringList found;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype width = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString ch = text.mid(i, width);
        if (!gbk::canEncode(ch) && !found.contains(ch))
            found << ch;
        i += width;
    }
    return found;
}

} // namespace

QString frm_main::refusalText(const SaveReport &report, const DayThings &things) const
{
    if (report.status == SaveReport::Status::TableFull)
        return QStringLiteral("日记本已满（最多 %1 条记录），这一天的内容无法作为新记录保存。\n"
                              "已经保存过的日子仍可修改；要离开这一天，请删除这一天新写的内容。")
            .arg(DayTable::DayCapacity);
    QStringList lines;
    for (size_t i = 0; i < things.size(); ++i) {
        if (const QStringList chars = unstorable(things[i].text); !chars.isEmpty())
            lines << QStringLiteral("第%1件事中的 %2").arg(i + 1).arg(chars.join(QLatin1Char(' ')));
    }
    return QStringLiteral("这一天的内容无法保存：日记文件只能存放 GBK 字符，以下字符无法存入。\n%1\n\n"
                          "请删除或改写这些字符后再试。")
        .arg(lines.join(QLatin1Char('\n')));
}

QString frm_main::diskTroubleText(const SaveReport &report) const
{
    return QStringLiteral("当天的内容未能写入文件：\n%1\n\n%2")
        .arg(QDir::toNativeSeparators(m_pub.dayFile.path()), report.describe(m_pub.dayFile.path()));
}

bool frm_main::tell(const SaveReport &report, const DayThings &things, bool byHand)
{
    switch (report.status) {
    case SaveReport::Status::OnDisk:
        m_diskTroubleTold = false;
        return true;
    case SaveReport::Status::NotOnDisk:
        // The day book holds the day; moving on loses nothing, so this is told once, not on every move.
        if (byHand || !m_diskTroubleTold)
            m_prompts.inform(this, diskTroubleText(report)
                                       + QStringLiteral("\n\n请检查磁盘空间和文件权限。内容已记下，下次保存时会再次写入。"));
        m_diskTroubleTold = true;
        return true;
    case SaveReport::Status::Replaced:
        return true; // the day book holds the day, and the user was just offered the file on disk
    case SaveReport::Status::TableFull:
    case SaveReport::Status::NoGbkForm:
        m_prompts.inform(this, refusalText(report, things));
        return false;
    }
    return false;
}

void frm_main::closeEvent(QCloseEvent *event)
{
    const DayThings things = viewThings();
    SaveReport report = td_save();
    while (!m_ending && !report.allOnDisk()) {
        if (report.status == SaveReport::Status::NotOnDisk) {
            const QString text = diskTroubleText(report)
                + QStringLiteral("\n\n请检查磁盘空间和文件权限后重试。如果放弃，未保存的内容将会丢失。");
            if (!m_prompts.retryFailedSave(this, text))
                break;
            report = td_save();
            continue;
        }
        // Trying again cannot help: the user may go back and change the day, or give it up.
        const QString why = report.status == SaveReport::Status::Replaced
            ? QStringLiteral("日程文件在程序运行时被替换了，当天和尚未写入的内容没有保存：\n%1")
                  .arg(QDir::toNativeSeparators(m_pub.dayFile.path()))
            : refusalText(report, things);
        if (m_prompts.confirm(this, why + QStringLiteral("\n\n仍要关闭吗？关闭后这一天的改动将会丢失。")))
            break;
        event->ignore();
        return;
    }
    if (m_ending && !report.allOnDisk()) // nobody is there to ask; say it where the session logs
        std::fprintf(stderr, "tallyleaf: the shown day was not saved: %s\n", qPrintable(report.describe(m_pub.dayFile.path())));
    // The program ends with its main window; the about window is modal, so only the clock and the
    // search window can be open.
    if (m_clock)
        m_clock->close();
    if (m_search)
        m_search->close();
    QMainWindow::closeEvent(event);
}

void frm_main::endSession()
{
    if (m_ending)
        return;
    m_ending = true;
    close();
    // Also ends a modal window's loop, such as an open calendar or message.
    QCoreApplication::exit(0);
}
