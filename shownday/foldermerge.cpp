#include "foldermerge.h"

#include "daytable.h"
#include "fileops.h"
#include "prompts.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <algorithm>
#include <map>

namespace {

// Records of a conflict copy, read as they are: a copy has no journal of its own.
std::optional<DayTable> readCopy(FileOps &ops, const QString &path)
{
    const std::optional<QByteArray> bytes = readWholeFile(ops, path);
    DayTable table;
    if (!bytes || !table.appendSlots(*bytes))
        return std::nullopt;
    return table;
}

QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

bool taken(const SaveReport &report)
{
    return report.status == SaveReport::Status::OnDisk || report.status == SaveReport::Status::NotOnDisk;
}

} // namespace

FolderMerge::FolderMerge(DayFile &dayFile, FileOps &ops, Prompts &prompts)
    : m_dayFile(dayFile), m_ops(ops), m_prompts(prompts), m_held(ops)
{
}

SaveReport FolderMerge::mergeReplacement(bool mayAsk)
{
    const std::vector<DayFile::OwedThing> owed = m_dayFile.owedThings();
    const LoadReport load = m_dayFile.load();
    if (load.status == LoadReport::Status::CannotOpen || load.status == LoadReport::Status::JournalUnreadable) {
        // Their file cannot be read: nothing was replaced in the table, and nothing is written.
        SaveReport report;
        report.status = SaveReport::Status::NotOnDisk;
        report.problem = load.problem;
        return report;
    }
    const std::set<ThingKey> wasHeld = m_held.keys();
    const copymerge::Plan plan = copymerge::heldAgain(m_held.all(), m_dayFile.table(), owed);
    SaveReport report = plan.days.empty() ? m_dayFile.flushPending() : m_dayFile.saveDays(plan.days);
    // Held things stay held with the other side's newest version, without a question (the user put
    // them off); new conflicts, and those the user cancelled, are put to the user now.
    std::vector<thingdecision::Conflict> held, asked;
    for (const thingdecision::Conflict &c : plan.conflicts)
        (wasHeld.count(c.key) && !m_askAgain.count(c.key) ? held : asked).push_back(c);
    if (!taken(report)) { // what the rule decided for a held thing did not reach the day book: held on
        for (const thingdecision::Conflict &c : m_held.all()) {
            if (std::none_of(plan.conflicts.begin(), plan.conflicts.end(), [&](const auto &p) { return p.key == c.key; }))
                held.push_back(c);
        }
    }
    if (!asked.empty() && mayAsk) {
        // Kept aside before the question, which may stay open for long: a kill meanwhile loses nothing.
        std::vector<thingdecision::Conflict> all = held;
        all.insert(all.end(), asked.begin(), asked.end());
        m_held.replace(std::move(all));
        const QString about = QStringLiteral("日程文件在程序运行时被另一份（例如另一台电脑同步来的）替换了：\n%1\n\n"
                                             "只有一边改过的事已经合并。下面这些事两边都改了，请选择要保留的内容；"
                                             "选择之前，文件里保留另一份的内容，这台电脑的内容留在程序中，"
                                             "并存放在日程文件旁边。")
                                  .arg(shown(m_dayFile.path()));
        asked = decide(about, asked, &report, true).left;
    }
    held.insert(held.end(), asked.begin(), asked.end());
    m_held.replace(std::move(held));
    return report;
}

SaveReport FolderMerge::restoreHeld()
{
    m_held.open(m_dayFile.realPath());
    return heldAgain();
}

SaveReport FolderMerge::heldAgain()
{
    if (m_held.empty())
        return {};
    const copymerge::Plan plan = copymerge::heldAgain(m_held.all(), m_dayFile.table());
    const SaveReport report = plan.days.empty() ? SaveReport{} : m_dayFile.saveDays(plan.days);
    if (taken(report)) // else they stay held as they were kept
        m_held.replace(plan.conflicts);
    return report;
}

FolderMerge::Asked FolderMerge::decide(const QString &about, const std::vector<thingdecision::Conflict> &conflicts,
                                       SaveReport *report, bool theirsInTable)
{
    const std::vector<std::optional<thingdecision::Choice>> choices = m_prompts.resolveConflicts(about, conflicts);
    Asked asked;
    asked.cancelled = choices.empty();
    std::map<QDate, DayThings> days;
    for (size_t i = 0; i < conflicts.size(); ++i) {
        const thingdecision::Conflict &c = conflicts[i];
        if (asked.cancelled && m_held.holds(c.key))
            m_askAgain.insert(c.key);
        else
            m_askAgain.erase(c.key);
        const DayThings onFile = thingsOfDay(m_dayFile.table(), c.key.day);
        const bool seen = !theirsInTable || copymerge::versionOf(onFile[size_t(c.key.number - 1)]) == c.theirVersion;
        const auto thing = i < choices.size() && choices[i] && seen ? thingdecision::settle(c, *choices[i]).value
                                                                      : std::nullopt;
        if (!thing) {
            asked.left.push_back(c);
            continue;
        }
        days.try_emplace(c.key.day, onFile).first->second[size_t(c.key.number - 1)] = *thing;
    }
    if (!days.empty()) {
        *report = m_dayFile.saveDays({days.begin(), days.end()});
        if (!taken(*report))
            asked.left = conflicts; // nothing chosen reached the day book: still to decide
    }
    return asked;
}

QStringList FolderMerge::newCopies()
{
    const QFileInfo day(m_dayFile.realPath()); // copies are left beside the real file
    QStringList copies;
    for (const QFileInfo &entry : QDir(day.absolutePath()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (copymerge::isConflictCopyName(entry.fileName(), day.fileName()) && !m_offered.contains(entry.absoluteFilePath()))
            copies << entry.absoluteFilePath();
    }
    return copies;
}

bool FolderMerge::offerCopies(const QStringList &copies)
{
    const QString dayFile = QFileInfo(m_dayFile.realPath()).fileName();
    bool merged = false;
    for (const bool own : {false, true}) {
        QStringList these, names;
        for (const QString &copy : copies) {
            if (copymerge::isOwnConflictCopyName(QFileInfo(copy).fileName(), dayFile) == own) {
                m_offered.insert(copy);
                these << copy;
                names << shown(copy);
            }
        }
        if (these.isEmpty())
            continue;
        const QString offer = own ? QStringLiteral("在日程文件旁边发现了 Tallyleaf 以前关闭时留下的冲突副本，里面是这台电脑上"
                                                   "当时还没有决定保留哪一份的事：\n%1\n\n"
                                                   "要现在把它们合并进日程文件吗？只有一边写了的事直接合并，两边不同的事会请你选择。"
                                                   "合并完的副本改名为 .merged 保留，不会删除。")
                                  : QStringLiteral("在日程文件旁边发现了同步软件留下的冲突副本：\n%1\n\n"
                                                   "要把其中的内容合并进日程文件吗？只有一边写了的事直接合并，两边不同的事会请你选择。"
                                                   "合并完的副本改名为 .merged 保留，不会删除。");
        if (!m_prompts.confirm(offer.arg(names.join(QLatin1Char('\n')))))
            continue;
        for (const QString &copy : these)
            mergeCopy(copy, own); // a copy not merged whole stays and is offered at the next start
        merged = true;
    }
    return merged;
}

bool FolderMerge::mergeCopy(const QString &copy, bool own)
{
    const std::optional<DayTable> theirs = readCopy(m_ops, copy);
    if (!theirs) {
        m_prompts.inform(QStringLiteral("无法读取冲突副本：\n%1\n\n它保持原样。").arg(shown(copy)));
        return false;
    }
    const copymerge::Plan plan = own ? copymerge::fromOwnCopy(m_dayFile.table(), *theirs)
                                     : copymerge::fromCopy(m_dayFile.table(), *theirs);
    SaveReport report = plan.days.empty() ? SaveReport{} : m_dayFile.saveDays(plan.days);
    std::vector<thingdecision::Conflict> putOff;
    if (!plan.conflicts.empty() && report.allOnDisk()) {
        const QString about = (own ? QStringLiteral("Tallyleaf 以前关闭时留下的冲突副本\n%1\n里是这台电脑当时的内容，和日程文件里的不同，"
                                                    "请选择要保留的内容；")
                                   : QStringLiteral("冲突副本\n%1\n和日程文件里有些事不同，请选择要保留的内容；"))
                                  .arg(shown(copy))
            + QStringLiteral("以后再说的，副本保持原样，下次启动时再问。");
        putOff = decide(about, plan.conflicts, &report, own).left;
    }
    if (!report.allOnDisk() || !putOff.empty())
        return false; // the copy stays as it is and is offered again
    // Merged whole: moved aside, never deleted.
    for (int n = 1; n < 100; ++n) {
        const QString to = copy + QStringLiteral(".merged") + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        if (m_ops.renameNoReplace(copy, to) == 0 || errno != EEXIST)
            break;
    }
    return true;
}

FolderMerge::Answer FolderMerge::decideHeld(const QString &about, SaveReport *report)
{
    *report = heldAgain(); // the question shows the other side's newest versions
    if (m_held.empty())
        return Answer::Decided;
    const Asked asked = decide(about, m_held.all(), report, true);
    m_held.replace(asked.left);
    return m_held.empty() ? Answer::Decided : asked.cancelled ? Answer::Cancelled : Answer::PutOff;
}
