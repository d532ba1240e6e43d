#include "messages.h"

#include "errorwords.h"
#include "gbk.h"

#include <QDir>
#include <QLocale>
#include <QStringList>

namespace messages {

namespace {

QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

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

// After a partial read the loaded days stay writable and nothing past them is overwritten.
QString partlyRead(const LoadReport &load)
{
    return QStringLiteral("已读出的 %1 条记录照常显示，这些日子的修改可以保存；新的日子只保留在本次运行中，"
                          "文件中没有读出的部分不会被覆盖。")
        .arg(load.recordsRead);
}

} // namespace

QString refusal(const SaveReport &report, const DayThings &things)
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

QString dayList(const std::vector<QDate> &days)
{
    constexpr size_t Named = 10;
    QStringList names;
    for (size_t i = 0; i < days.size() && i < Named; ++i)
        names << QLocale().toString(days[i], QLocale::ShortFormat);
    QString list = names.join(QStringLiteral("、"));
    if (days.size() > Named)
        list += QStringLiteral(" 等 %1 天").arg(days.size());
    return list;
}

QString whyNotSaved(const SaveReport &report)
{
    switch (report.why) {
    case SaveReport::Why::Disk:
        return errorwords::describe(report.problem);
    case SaveReport::Why::NotLoaded:
        return QStringLiteral("日程文件没有读完，没有读出的部分不会被覆盖");
    case SaveReport::Why::ReadOnly:
        return QStringLiteral("日程文件本次只读取，不写入");
    case SaveReport::Why::OtherFile:
        return QStringLiteral("日程文件被另一个文件替换了");
    case SaveReport::Why::OtherLength:
        return QStringLiteral("日程文件被别的程序改动了：长度和上次写入时不同");
    case SaveReport::Why::OtherDays:
        return QStringLiteral("日程文件被别的程序改动了：要写入的位置存放的是别的日子");
    }
    return QString();
}

QString diskTrouble(const QString &dayFilePath, const SaveReport &report, const std::vector<QDate> &days)
{
    const QString which = days.empty() ? QStringLiteral("当天") : dayList(days);
    return QStringLiteral("%1 的内容未能写入文件：\n%2\n\n%3").arg(which, shown(dayFilePath), whyNotSaved(report));
}

QString startup(const QString &dayFilePath, const LoadReport &load)
{
    switch (load.status) {
    case LoadReport::Status::CannotOpen:
        return QStringLiteral("无法打开日程文件：\n%1\n（%2）\n\n本次运行可以查看和填写，但不会保存任何内容。")
            .arg(shown(dayFilePath), errorwords::describe(load.problem));
    case LoadReport::Status::ReadFailed:
        return QStringLiteral("日程文件没能读完：\n%1\n（%2）\n\n%3")
            .arg(shown(dayFilePath), errorwords::describe(load.problem), partlyRead(load));
    case LoadReport::Status::TooManyRecords:
        return QStringLiteral("日程文件中的记录比程序能容纳的 %1 条还多：\n%2\n\n%3")
            .arg(DayTable::DayCapacity)
            .arg(shown(dayFilePath), partlyRead(load));
    case LoadReport::Status::JournalUnreadable:
        return QStringLiteral("无法读取上次未完成的保存留下的日志：\n%1\n（%2）\n\n日程文件\n%3\n可能只写了一半，所以没有读入；"
                              "本次运行不会保存任何内容。请检查这个日志文件后再启动。")
            .arg(shown(rollbackjournal::pathFor(dayFilePath)), errorwords::describe(load.problem), shown(dayFilePath));
    case LoadReport::Status::Loaded:
        break;
    }
    if (load.readOnly == LoadReport::ReadOnly::File)
        return QStringLiteral("日程文件只能读取，不能写入：\n%1\n\n本次运行可以查看，但不会保存任何修改。").arg(shown(dayFilePath));
    if (load.readOnly == LoadReport::ReadOnly::NoLock)
        return QStringLiteral("无法锁定日程文件：\n%1\n（%2）\n\n没有锁就无法保证只有一个程序在写它，所以本次运行只读取，"
                              "不会保存任何修改。")
            .arg(shown(dayFilePath), errorwords::describe(load.lockProblem));
    switch (load.recovery) {
    case rollbackjournal::Outcome::RollbackPending:
        return QStringLiteral("上次未完成的保存还不能撤销：\n%1\n（%2）\n\n窗口显示的是那次保存之前的内容；"
                              "在撤销成功之前，不会保存任何内容。")
            .arg(shown(dayFilePath), errorwords::describe(load.recoveryProblem));
    case rollbackjournal::Outcome::SetAside:
        if (load.keptAsideJournal.isEmpty())
            return QStringLiteral("日程文件旁边的保存日志不是为现在这个日程文件写的（文件可能是从备份恢复或从别处复制来的），"
                                  "所以没有用它改动日程文件：\n%1\n\n这个日志也没能改名移开（%2）。"
                                  "在它移开之前，不会保存任何内容。")
                .arg(shown(dayFilePath), errorwords::describe(load.recoveryProblem));
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

QString remade(const QString &dayFilePath, const SaveReport &report)
{
    return report.allOnDisk()
        ? QStringLiteral("日程文件在程序运行时被删除了：\n%1\n\n程序中的全部内容已经重新写入这个文件。").arg(shown(dayFilePath))
        : QStringLiteral("日程文件在程序运行时被删除了：\n%1\n\n程序重新建立了它，但没能写入全部内容"
                         "（%2）。内容仍保留在程序中，下次保存时再写。")
              .arg(shown(dayFilePath), whyNotSaved(report));
}

} // namespace messages
