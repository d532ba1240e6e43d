#include "closing.h"

#include "errorwords.h"
#include "messages.h"
#include "prompts.h"
#include "shownday.h"

#include <QDir>
#include <cstdio>

namespace {

// The things held between two versions: asked once more; the rest stay in the held file. False
// when the user goes back to the window. A save of the choices that the disk still owes goes into
// report.
bool settleHeld(ShownDay &day, Prompts &prompts, SaveReport &report)
{
    if (!day.isEnding()) {
        SaveReport decided;
        const FolderMerge::Answer answer = day.folder().merge().decideHeld(
            QStringLiteral("这些事两边都改了，还没有决定保留哪一份。以后再说的，这台电脑的版本存放在日程文件旁边，"
                           "下次启动时再问；取消则回到窗口。"),
            &decided);
        if (decided.status == SaveReport::Status::NotOnDisk && report.allOnDisk())
            report = decided; // the choices are owed to the disk: retried below like the day
        if (answer == FolderMerge::Answer::Cancelled)
            return false;
        if (answer == FolderMerge::Answer::Decided)
            return true;
    }
    HeldThings &held = day.folder().merge().held();
    if (held.keep() || day.isEnding())
        return true;
    return prompts.confirm(QStringLiteral("两边都改过、还没有决定保留哪一份的事，这台电脑的版本无法存放到日程文件旁边：\n%1\n\n"
                                          "仍要关闭吗？关闭后这台电脑的版本将会丢失；取消则回到窗口。")
                               .arg(errorwords::describe(held.problem())));
}

} // namespace

bool closing::mayClose(ShownDay &day, Prompts &prompts)
{
    // While closing asks, nothing else writes the day book (a sync waits).
    const auto asking = day.closing();
    const auto stay = [&day] {
        day.showWhatTheBookHolds();
        return false;
    };
    const DayThings things = day.shownThings();
    SaveReport report = day.save();
    if (!day.held().empty() && !settleHeld(day, prompts, report))
        return stay();
    const QString path = day.dayFile().path();
    while (!day.isEnding() && !report.allOnDisk()) {
        if (report.status == SaveReport::Status::NotOnDisk) {
            const QString text = messages::diskTrouble(path, report, day.dayFile().owedDays())
                + QStringLiteral("\n\n请检查磁盘空间和文件权限后重试。如果放弃，这些日子未保存的内容将会丢失；"
                                 "取消则回到窗口。");
            switch (prompts.askAboutFailedSave(text)) {
            case Prompts::FailedSave::Retry:
                report = day.save();
                continue;
            case Prompts::FailedSave::Discard:
                return true;
            case Prompts::FailedSave::Cancel:
                return stay();
            }
        }
        // Trying again cannot help: the user may go back and change the day, or give it up.
        const QString why = report.status == SaveReport::Status::Replaced
            ? QStringLiteral("日程文件在程序运行时被替换了，当天和尚未写入的内容没有保存：\n%1").arg(QDir::toNativeSeparators(path))
            : messages::refusal(report, things);
        return prompts.confirm(why + QStringLiteral("\n\n仍要关闭吗？关闭后这一天的改动将会丢失。")) || stay();
    }
    if (day.isEnding() && !report.allOnDisk()) // nobody is there to ask; say it where the session logs
        std::fprintf(stderr, "tallyleaf: the shown day was not saved: %s\n", qPrintable(report.describe(path)));
    return true;
}
