#include "foldermerge.h"

#include "dayrecord.h"
#include "errorwords.h"
#include "daytable.h"
#include "fileops.h"
#include "gbk.h"
#include "oledate.h"
#include "prompts.h"
#include "timesource.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>

namespace {

// Records of a conflict copy, read as they are: a copy has no journal of its own.
std::optional<DayTable> readCopy(FileOps &ops, const QString &path)
{
    const int fd = ops.open(path, O_RDONLY);
    if (fd < 0)
        return std::nullopt;
    const off_t size = ops.size(fd);
    QByteArray bytes(size > 0 ? qsizetype(size) : 0, Qt::Uninitialized);
    const bool read = size >= 0 && readAll(ops, fd, bytes.data(), size_t(bytes.size()), 0) == ssize_t(size);
    ops.close(fd);
    DayTable table;
    if (!read || !table.appendSlots(bytes))
        return std::nullopt;
    return table;
}

QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

} // namespace

FolderMerge::FolderMerge(DayFile &dayFile, FileOps &ops, const TimeSource &time, Prompts &prompts)
    : m_dayFile(dayFile), m_ops(ops), m_time(time), m_prompts(prompts)
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
    const copymerge::Plan plan = copymerge::intoReplacement(owed, m_dayFile.table());
    SaveReport report = plan.days.empty() ? m_dayFile.flushPending() : m_dayFile.saveDays(plan.days);
    if (!plan.conflicts.empty() && !mayAsk) {
        m_held.insert(m_held.end(), plan.conflicts.begin(), plan.conflicts.end());
    } else if (!plan.conflicts.empty()) {
        const QString about = QStringLiteral("日程文件在程序运行时被另一份（例如另一台电脑同步来的）替换了：\n%1\n\n"
                                             "只有一边改过的事已经合并。下面这些事两边都改了，请选择要保留的内容；"
                                             "选择之前，文件里保留另一份的内容，这台电脑的内容留在程序中。")
                                  .arg(shown(m_dayFile.path()));
        const std::vector<thingdecision::Conflict> putOff = decide(about, plan.conflicts, &report);
        m_held.insert(m_held.end(), putOff.begin(), putOff.end());
    }
    return report;
}

std::vector<thingdecision::Conflict> FolderMerge::decide(const QString &about,
                                                     const std::vector<thingdecision::Conflict> &conflicts,
                                                     SaveReport *report)
{
    const std::vector<std::optional<thingdecision::Choice>> choices = m_prompts.resolveConflicts(about, conflicts);
    std::vector<thingdecision::Conflict> putOff;
    std::map<QDate, DayThings> days;
    for (size_t i = 0; i < conflicts.size(); ++i) {
        const thingdecision::Conflict &c = conflicts[i];
        const auto thing = i < choices.size() && choices[i] ? thingdecision::settle(c, *choices[i]).value : std::nullopt;
        if (!thing) {
            putOff.push_back(c);
            continue;
        }
        auto day = days.find(c.key.day);
        if (day == days.end())
            day = days.emplace(c.key.day, thingsOfDay(m_dayFile.table(), c.key.day)).first;
        day->second[size_t(c.key.number - 1)] = *thing;
    }
    if (!days.empty()) {
        *report = m_dayFile.saveDays({days.begin(), days.end()});
        const bool taken = report->status == SaveReport::Status::OnDisk || report->status == SaveReport::Status::NotOnDisk;
        if (!taken)
            return conflicts; // nothing chosen reached the day book: still to decide
    }
    return putOff;
}

QStringList FolderMerge::newCopies()
{
    const QFileInfo day(m_dayFile.realPath()); // a sync tool leaves its copies beside the real file
    QStringList copies;
    for (const QFileInfo &entry : QDir(day.absolutePath()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (copymerge::isConflictCopyName(entry.fileName(), day.fileName()) && !m_offered.contains(entry.absoluteFilePath()))
            copies << entry.absoluteFilePath();
    }
    return copies;
}

bool FolderMerge::offerCopies(const QStringList &copies)
{
    if (copies.isEmpty())
        return false;
    for (const QString &copy : copies)
        m_offered.insert(copy);
    QStringList names;
    for (const QString &copy : copies)
        names << shown(copy);
    const QString offer = QStringLiteral("在日程文件旁边发现了同步软件留下的冲突副本：\n%1\n\n"
                                         "要把其中的内容合并进日程文件吗？只有一边写了的事直接合并，两边不同的事会请你选择。"
                                         "合并完的副本改名为 .merged 保留，不会删除。")
                              .arg(names.join(QLatin1Char('\n')));
    if (!m_prompts.confirm(offer))
        return false;
    for (const QString &copy : copies)
        mergeCopy(copy);
    return true;
}

bool FolderMerge::mergeCopy(const QString &copy)
{
    const std::optional<DayTable> theirs = readCopy(m_ops, copy);
    if (!theirs) {
        m_prompts.inform(QStringLiteral("无法读取冲突副本：\n%1\n\n它保持原样。").arg(shown(copy)));
        return false;
    }
    const copymerge::Plan plan = copymerge::fromCopy(m_dayFile.table(), *theirs);
    SaveReport report = plan.days.empty() ? SaveReport{} : m_dayFile.saveDays(plan.days);
    std::vector<thingdecision::Conflict> putOff;
    if (!plan.conflicts.empty() && report.allOnDisk()) {
        const QString about = QStringLiteral("冲突副本\n%1\n和日程文件里有些事不同，请选择要保留的内容；"
                                             "以后再说的，副本保持原样，下次启动时再问。")
                                  .arg(shown(copy));
        putOff = decide(about, plan.conflicts, &report);
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

void FolderMerge::overlayHeld(QDate day, DayThings &things) const
{
    for (const thingdecision::Conflict &c : m_held) {
        if (c.key.day == day)
            things[size_t(c.key.number - 1)] = c.mine;
    }
}

void FolderMerge::holdBack(QDate day, DayThings &things)
{
    const DayThings onFile = thingsOfDay(m_dayFile.table(), day);
    for (auto it = m_held.begin(); it != m_held.end();) {
        if (it->key.day != day) {
            ++it;
            continue;
        }
        ThingInput &thing = things[size_t(it->key.number - 1)];
        it->mine = thing;
        thing = onFile[size_t(it->key.number - 1)];
        // Made the same as the file's by hand: nothing left to decide.
        it = it->mine == it->theirs ? m_held.erase(it) : it + 1;
    }
}

bool FolderMerge::holds(QDate day, qint32 number) const
{
    return std::any_of(m_held.begin(), m_held.end(),
                       [&](const thingdecision::Conflict &c) { return c.key.day == day && c.key.number == number; });
}

bool FolderMerge::decideHeld(SaveReport *report)
{
    if (m_held.empty())
        return true;
    const std::vector<thingdecision::Conflict> held = m_held; // asked from a copy: the list is replaced after
    m_held = decide(QStringLiteral("这些事两边都改了，还没有决定保留哪一份："), held, report);
    return m_held.empty();
}

QString FolderMerge::keepHeldAside()
{
    if (m_held.empty())
        return {};
    std::map<QDate, DayThings> days;
    for (const thingdecision::Conflict &c : m_held) {
        auto day = days.find(c.key.day);
        if (day == days.end())
            day = days.emplace(c.key.day, thingsOfDay(m_dayFile.table(), c.key.day)).first;
        day->second[size_t(c.key.number - 1)] = c.mine;
    }
    QByteArray bytes;
    for (const auto &[day, things] : days) {
        for (qint32 no = 1; no <= 5; ++no) {
            const ThingInput &thing = things[size_t(no - 1)];
            const std::optional<QByteArray> text = gbk::encode(thing.text);
            if (!text) // written empty, the user's version would be gone
                return QStringLiteral("“%1”里有日程文件无法保存的字符").arg(thing.text);
            bytes += recordimage::encode(DayRecord{0, no, DayTable::storedText(*text).toByteArray(),
                                                   qint16(thing.done ? -1 : 0), oledate::fromDate(day)});
        }
    }
    const QFileInfo file(m_dayFile.realPath());
    const QString copy = file.dir().filePath(QStringLiteral("%1 (Tallyleaf conflicted copy %2).%3")
                                                 .arg(file.completeBaseName(),
                                                      m_time.now().toString(QStringLiteral("yyyy-MM-dd HHmmss")),
                                                      file.suffix()));
    const int fd = m_ops.open(copy, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0)
        return errorwords::reason(errno);
    const bool written = writeAll(m_ops, fd, bytes.constData(), size_t(bytes.size()), 0) && m_ops.fsync(fd) == 0;
    const int error = errno;
    m_ops.close(fd);
    if (!written) {
        m_ops.remove(copy); // half a copy would be offered as a whole one
        return errorwords::reason(error);
    }
    m_held.clear();
    return {};
}
