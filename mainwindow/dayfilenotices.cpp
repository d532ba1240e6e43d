#include "dayfilenotices.h"

#include "module_pub.h"
#include "prompts.h"
#include "rollbackjournal.h"

#include <QDir>

namespace dayfilenotices {

namespace {

QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

// After a partial read the loaded days stay writable and nothing past them is overwritten.
QString partlyRead(const LoadReport &load)
{
    return QStringLiteral("已读出的 %1 条记录照常显示，这些日子的修改可以保存；新的日子只保留在本次运行中，"
                          "文件中没有读出的部分不会被覆盖。")
        .arg(load.recordsRead);
}

} // namespace

QString startupText(const QString &dayFilePath, const LoadReport &load)
{
    switch (load.status) {
    case LoadReport::Status::CannotOpen:
        return QStringLiteral("无法打开日程文件：\n%1\n（%2）\n\n本次运行可以查看和填写，但不会保存任何内容。")
            .arg(shown(dayFilePath), load.problem.describe());
    case LoadReport::Status::ReadFailed:
        return QStringLiteral("日程文件没能读完：\n%1\n（%2）\n\n%3").arg(shown(dayFilePath), load.problem.describe(), partlyRead(load));
    case LoadReport::Status::TooManyRecords:
        return QStringLiteral("日程文件中的记录比程序能容纳的 %1 条还多：\n%2\n\n%3")
            .arg(DayTable::DayCapacity)
            .arg(shown(dayFilePath), partlyRead(load));
    case LoadReport::Status::JournalUnreadable:
        return QStringLiteral("无法读取上次未完成的保存留下的日志：\n%1\n（%2）\n\n日程文件\n%3\n可能只写了一半，所以没有读入；"
                              "本次运行不会保存任何内容。请检查这个日志文件后再启动。")
            .arg(shown(rollbackjournal::pathFor(dayFilePath)), load.problem.describe(), shown(dayFilePath));
    case LoadReport::Status::Loaded:
        break;
    }
    if (load.readOnly == LoadReport::ReadOnly::File)
        return QStringLiteral("日程文件只能读取，不能写入：\n%1\n\n本次运行可以查看，但不会保存任何修改。").arg(shown(dayFilePath));
    if (load.readOnly == LoadReport::ReadOnly::NoLock)
        return QStringLiteral("无法锁定日程文件：\n%1\n（%2）\n\n没有锁就无法保证只有一个程序在写它，所以本次运行只读取，"
                              "不会保存任何修改。")
            .arg(shown(dayFilePath), load.lockProblem.describe());
    switch (load.recovery) {
    case rollbackjournal::Outcome::RollbackPending:
        return QStringLiteral("上次未完成的保存还不能撤销：\n%1\n（%2）\n\n窗口显示的是那次保存之前的内容；"
                              "在撤销成功之前，不会保存任何内容。")
            .arg(shown(dayFilePath), load.recoveryProblem.describe());
    case rollbackjournal::Outcome::SetAside:
        if (load.keptAsideJournal.isEmpty())
            return QStringLiteral("日程文件旁边的保存日志不是为现在这个日程文件写的（文件可能是从备份恢复或从别处复制来的），"
                                  "所以没有用它改动日程文件：\n%1\n\n这个日志也没能改名移开（%2）。"
                                  "在它移开之前，不会保存任何内容。")
                .arg(shown(dayFilePath), load.recoveryProblem.describe());
        if (load.keptAsideWithoutDayFile) // most often a user starting a new day book on purpose
            return QStringLiteral("没有找到日程文件（可能被删除或移走了），已新建一个空的日程文件：\n%1\n\n"
                                  "旧文件留下的保存日志已改名保存为：\n%2")
                .arg(shown(dayFilePath), shown(load.keptAsideJournal));
        return QStringLiteral("日程文件旁边的保存日志不是为现在这个日程文件写的（文件可能是从备份恢复或从别处复制来的），"
                              "所以没有用它改动日程文件：\n%1\n\n这个日志已改名保存为：\n%2\n\n日程文件照常读入，可以正常保存。")
            .arg(shown(dayFilePath), shown(load.keptAsideJournal));
    default:
        return QString(); // nothing was lost and everything can be saved
    }
}

void afterStartup(Prompts &prompts, QWidget *window, const QString &dayFilePath, const LoadReport &load)
{
    const QString text = startupText(dayFilePath, load);
    if (!text.isEmpty())
        prompts.inform(window, text);
}

SaveReport afterSave(Prompts &prompts, QWidget *window, Module_pub &pub, SaveReport report)
{
    const QString path = shown(pub.dayFile.path());
    if (report.remade) {
        prompts.inform(window, report.allOnDisk()
                                   ? QStringLiteral("日程文件在程序运行时被删除了：\n%1\n\n程序中的全部内容已经重新写入这个文件。")
                                         .arg(path)
                                   : QStringLiteral("日程文件在程序运行时被删除了：\n%1\n\n程序重新建立了它，但没能写入全部内容"
                                                    "（%2）。内容仍保留在程序中，下次保存时再写。")
                                         .arg(path, report.describe(pub.dayFile.path())));
    }
    if (report.status != SaveReport::Status::Replaced)
        return report;
    const QString offer = QStringLiteral("日程文件在程序运行时被别的程序替换或改动了：\n%1\n（%2）\n\n"
                                         "为了不写坏它，当天的内容没有保存，仍保留在程序中。\n\n"
                                         "要读入磁盘上现在的文件，再把当天的内容保存进去吗？")
                              .arg(path, report.describe(pub.dayFile.path()));
    if (!prompts.confirm(window, offer))
        return report;
    LoadReport load;
    report = pub.dayFile.adoptFileOnDisk(&load);
    afterStartup(prompts, window, pub.dayFile.path(), load); // the file now on disk may not read whole either
    return report;
}

} // namespace dayfilenotices
