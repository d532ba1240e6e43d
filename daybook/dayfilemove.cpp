#include "dayfilemove.h"

#include "fileops.h"
#include "rollbackjournal.h"

#include <QDir>
#include <QFileInfo>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

using Step = IoResult::Step;
constexpr size_t Chunk = size_t(1) << 20;
// A copy is made under this suffix and given its name only once it is whole and synced, so that
// a move cut off never leaves a part of a file under a name the program would read.
const QString CopySuffix = QStringLiteral(".moving");

QString sameNameIn(const QString &directory, const QString &path)
{
    return QDir(directory).filePath(QFileInfo(path).fileName());
}

bool exists(FileOps &ops, const QString &path)
{
    struct stat st;
    return ops.lstat(path, &st) == 0;
}

// What is renamed or copied is then what the disk holds, the journal's done mark included.
IoResult syncFile(FileOps &ops, const QString &path)
{
    const int fd = ops.open(path, O_RDONLY);
    if (fd < 0)
        return IoResult::failed(Step::Open, path);
    const bool synced = ops.fsync(fd) == 0;
    const int error = errno;
    ops.close(fd);
    return synced ? IoResult::done() : IoResult::failed(Step::Sync, path, error);
}

// Copies the open file in into the new file out, with in's permissions, syncs it, and reads both
// back to compare them.
IoResult copyInto(FileOps &ops, int in, const QString &from, int out, const QString &to)
{
    struct stat st;
    if (ops.fstat(in, &st) != 0)
        return IoResult::failed(Step::Measure, from);
    QByteArray buffer(qsizetype(Chunk), '\0');
    QByteArray back(qsizetype(Chunk), '\0');
    off_t length = 0;
    for (ssize_t n; (n = readAll(ops, in, buffer.data(), Chunk, length)) != 0; length += n) {
        if (n < 0)
            return IoResult::failed(Step::Read, from);
        if (!writeAll(ops, out, buffer.constData(), size_t(n), length))
            return IoResult::failed(Step::Write, to);
    }
    // The file was made under the umask; it keeps the permissions the original had.
    if (ops.fchmod(out, st.st_mode & 07777) != 0)
        return IoResult::failed(Step::Write, to);
    if (ops.fsync(out) != 0)
        return IoResult::failed(Step::Sync, to);
    for (off_t at = 0;;) {
        const ssize_t a = readAll(ops, in, buffer.data(), Chunk, at);
        const ssize_t b = readAll(ops, out, back.data(), Chunk, at);
        if (a < 0)
            return IoResult::failed(Step::Read, from);
        if (b < 0)
            return IoResult::failed(Step::Read, to);
        // A copy that does not read back as it was written is no copy.
        if (a != b || std::memcmp(buffer.constData(), back.constData(), size_t(a)) != 0 || (a == 0 && at != length))
            return IoResult::failed(Step::Read, to, EIO);
        if (a == 0)
            return IoResult::done();
        at += a;
    }
}

IoResult copyFile(FileOps &ops, const QString &from, const QString &to)
{
    const int in = ops.open(from, O_RDONLY);
    if (in < 0)
        return IoResult::failed(Step::Open, from);
    const int out = ops.open(to, O_RDWR | O_CREAT | O_EXCL, 0600);
    if (out < 0) {
        const IoResult failed = IoResult::failed(Step::Create, to);
        ops.close(in);
        return failed;
    }
    const IoResult copied = copyInto(ops, in, from, out, to);
    ops.close(out);
    ops.close(in);
    return copied;
}

// The day file and the files belonging to it, the day file last, and where each goes.
struct Plan
{
    QStringList from;
    QStringList to;
    QString targetDirectory;
    QString sourceDirectory;
};

enum class Renamed { Done, Failed, CrossDevice };

// One file system: renames. The day file's rename is the move's moment.
Renamed renameAll(FileOps &ops, const Plan &plan, MoveReport &report)
{
    for (const QString &file : plan.from) {
        report.problem = syncFile(ops, file);
        if (!report.problem.ok())
            return Renamed::Failed;
    }
    qsizetype renamed = 0;
    const auto undo = [&] {
        while (renamed-- > 0) {
            if (ops.renameNoReplace(plan.to[renamed], plan.from[renamed]) != 0)
                report.leftBehind << plan.to[renamed];
        }
    };
    for (; renamed < plan.from.size(); ++renamed) {
        const bool dayFile = renamed == plan.from.size() - 1;
        // What belongs to the day file is durably there before the day file follows.
        if (dayFile && renamed > 0 && ops.syncDirectory(plan.targetDirectory) != 0) {
            report.problem = IoResult::failed(Step::SyncFolder, plan.to[renamed - 1]);
            undo();
            return Renamed::Failed;
        }
        if (ops.renameNoReplace(plan.from[renamed], plan.to[renamed]) != 0) {
            // A bind mount shares its device number with the file system it shows.
            if (errno == EXDEV && renamed == 0)
                return Renamed::CrossDevice;
            report.problem = IoResult::failed(Step::Create, plan.to[renamed]);
            undo();
            return Renamed::Failed;
        }
    }
    report.durable = ops.syncDirectory(plan.targetDirectory) == 0 && ops.syncDirectory(plan.sourceDirectory) == 0;
    return Renamed::Done;
}

// Across file systems: copies, named once whole; the old day file removed only after that.
void copyAll(FileOps &ops, const Plan &plan, MoveReport &report)
{
    QStringList made; // in the target folder, to be removed if the move fails
    const auto fail = [&](const IoResult &problem) {
        report.status = MoveReport::Status::Failed;
        report.problem = problem;
        for (const QString &file : made) {
            if (ops.remove(file) != 0 && errno != ENOENT)
                report.leftBehind << file;
        }
    };
    for (qsizetype i = 0; i < plan.from.size(); ++i) {
        const QString copy = plan.to[i] + CopySuffix;
        // Left by a move cut off earlier: ours by its name, and never read.
        if (ops.remove(copy) != 0 && errno != ENOENT)
            return fail(IoResult::failed(Step::Create, copy));
        const IoResult copied = copyFile(ops, plan.from[i], copy);
        if (exists(ops, copy))
            made << copy;
        if (!copied.ok())
            return fail(copied);
    }
    if (ops.syncDirectory(plan.targetDirectory) != 0)
        return fail(IoResult::failed(Step::SyncFolder, plan.to.back()));
    for (qsizetype i = 0; i < plan.from.size(); ++i) {
        if (ops.renameNoReplace(made[i], plan.to[i]) != 0)
            return fail(IoResult::failed(Step::Create, plan.to[i]));
        made[i] = plan.to[i];
    }
    if (ops.syncDirectory(plan.targetDirectory) != 0)
        return fail(IoResult::failed(Step::SyncFolder, plan.to.back()));
    // The moment of the move: the old day file goes. Until then it is whole and the only one read.
    if (ops.remove(plan.from.back()) != 0)
        return fail(IoResult::failed(Step::Write, plan.sourceDirectory));
    report.status = MoveReport::Status::Moved;
    for (qsizetype i = 0; i + 1 < plan.from.size(); ++i) {
        if (ops.remove(plan.from[i]) != 0)
            report.leftBehind << plan.from[i];
    }
    report.durable = ops.syncDirectory(plan.sourceDirectory) == 0;
}

} // namespace

QStringList filesBelongingTo(const QString &dayFilePath)
{
    const QFileInfo dayFile(dayFilePath);
    const QString name = dayFile.fileName();
    const QDir folder = dayFile.absoluteDir();
    QStringList files;
    for (const QString &exact : {name + QStringLiteral(".journal"), name + QStringLiteral(".caldav")}) {
        if (QFileInfo::exists(folder.filePath(exact)))
            files << folder.filePath(exact);
    }
    const QStringList kept = folder.entryList({name + QStringLiteral(".journal.kept*")}, QDir::Files | QDir::Hidden);
    for (const QString &file : kept) {
        if (file == name + QStringLiteral(".journal.kept") || file.startsWith(name + QStringLiteral(".journal.kept-")))
            files << folder.filePath(file);
    }
    return files;
}

MoveReport moveDayFile(FileOps &ops, const QString &dayFilePath, const QString &targetDirectory)
{
    MoveReport report;
    struct stat file, source, target;
    if (ops.lstat(dayFilePath, &file) != 0) {
        report.status = errno == ENOENT ? MoveReport::Status::Missing : MoveReport::Status::Failed;
        report.problem = IoResult::failed(Step::Open, dayFilePath);
        return report;
    }
    if (S_ISLNK(file.st_mode)) {
        report.status = MoveReport::Status::IsALink;
        return report;
    }
    Plan plan;
    plan.sourceDirectory = QFileInfo(dayFilePath).absolutePath();
    plan.targetDirectory = QDir(targetDirectory).absolutePath();
    if (ops.stat(plan.targetDirectory, &target) != 0 || !S_ISDIR(target.st_mode)) {
        report.status = MoveReport::Status::NotAFolder;
        return report;
    }
    if (ops.stat(plan.sourceDirectory, &source) != 0) {
        report.problem = IoResult::failed(Step::Open, plan.sourceDirectory);
        return report;
    }
    if (source.st_dev == target.st_dev && source.st_ino == target.st_ino) {
        report.status = MoveReport::Status::SameFolder;
        return report;
    }
    plan.from = filesBelongingTo(dayFilePath);
    plan.from << dayFilePath;
    for (const QString &from : plan.from)
        plan.to << sameNameIn(plan.targetDirectory, from);
    report.newPath = plan.to.back();
    // Another day file's journal or sync state there would be taken for this one's, even where
    // this one has none to bring.
    const QStringList taken =
        plan.to + QStringList{rollbackjournal::pathFor(report.newPath), report.newPath + QStringLiteral(".caldav")};
    for (const QString &to : taken) {
        if (exists(ops, to)) {
            report.status = MoveReport::Status::TargetTaken;
            report.obstacle = to;
            return report;
        }
    }

    if (source.st_dev == target.st_dev) {
        switch (renameAll(ops, plan, report)) {
        case Renamed::Done:
            report.status = MoveReport::Status::Moved;
            return report;
        case Renamed::Failed:
            report.status = MoveReport::Status::Failed;
            return report;
        case Renamed::CrossDevice:
            break;
        }
    }
    copyAll(ops, plan, report);
    return report;
}
