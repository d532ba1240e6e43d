// tallyleaf-tool: export the day book to iCalendar or CSV, import things from CSV.
#include "arguments.h"
#include "csv.h"
#include "dayfilelocation.h"
#include "dayfilelock.h"
#include "exitstatus.h"
#include "exportthings.h"
#include "fileops.h"
#include "icalendar.h"
#include "importcsv.h"
#include "steadyread.h"
#include "timesource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

namespace {

// Messages name the file as the user typed it or as the location rule found it.
void note(const QString &message)
{
    std::fprintf(stderr, "tallyleaf-tool: %s\n", qPrintable(message));
}

int fail(int status, const QString &message)
{
    note(message);
    return status;
}

// What a read found of a save that did not finish, said as the window says it at start-up.
// preview: only read, nothing was repaired on disk.
void noteRecovery(const QString &dayFilePath, rollbackjournal::Outcome outcome, const QString &keptAside, bool preview)
{
    switch (outcome) {
    case rollbackjournal::Outcome::RolledBack:
        note(preview ? QStringLiteral("%1: a save that did not finish is read as undone; the next start of Tallyleaf "
                                      "undoes it in the file")
                           .arg(dayFilePath)
                     : QStringLiteral("%1: a save that did not finish was undone; every day is as it was before it")
                           .arg(dayFilePath));
        break;
    case rollbackjournal::Outcome::SetAside:
        note(keptAside.isEmpty()
                 ? QStringLiteral("%1: the journal beside it was written for another day file (a restored or copied "
                                  "file?) and is not applied")
                       .arg(dayFilePath)
                 : QStringLiteral("%1: the journal beside it was written for another day file (a restored or copied "
                                  "file?); it was not applied and is kept as %2")
                       .arg(dayFilePath, keptAside));
        break;
    case rollbackjournal::Outcome::RollbackPending:
        note(QStringLiteral("%1: a save that did not finish cannot be undone yet; it is read as undone").arg(dayFilePath));
        break;
    case rollbackjournal::Outcome::NoJournal:
    case rollbackjournal::Outcome::Discarded:
    case rollbackjournal::Outcome::Unreadable:
        break; // nothing was changed; an unreadable journal fails the read and says so
    }
}

int writeOutput(const QString &output, const QByteArray &bytes)
{
    if (output.isEmpty()) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
            return fail(NotWritten, QStringLiteral("cannot write to standard output: %1").arg(out.errorString()));
        return Success;
    }
    // Whole or not at all: a failed export leaves no half-written file behind.
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return fail(NotWritten, QStringLiteral("cannot write %1: %2").arg(output, out.errorString()));
    return Success;
}

int exportThings(FileOps &ops, const Command &command, const QString &dayFilePath)
{
    // An export written over the day file would replace every day with a few lines of text.
    if (!command.output.isEmpty() && QFileInfo::exists(command.output)
        && QFileInfo(command.output).canonicalFilePath() == QFileInfo(dayFilePath).canonicalFilePath())
        return fail(BadUsage, QStringLiteral("--output %1 is the day file itself").arg(command.output));

    DayTable table;
    const SteadyRead read = readSteadily(ops, dayFilePath, table);
    switch (read.status) {
    case SteadyRead::Status::Read:
        break;
    case SteadyRead::Status::Unreadable:
        return fail(Unreadable, read.detail);
    case SteadyRead::Status::KeptChanging:
        return fail(InUse, QStringLiteral("%1 kept changing while it was read; try again").arg(dayFilePath));
    }

    noteRecovery(dayFilePath, read.recovery, QString(), true);
    const std::vector<DatedThing> things = thingsBetween(table, command.from, command.to);
    for (const DatedThing &thing : things) {
        if (thing.foreignBytes)
            note(QStringLiteral("%1: thing %2 of %3 holds bytes that are no GBK character; each is written as U+FFFD")
                     .arg(dayFilePath)
                     .arg(thing.number)
                     .arg(thing.day.toString(Qt::ISODate)));
    }
    const QByteArray bytes = command.format == Command::Format::ICalendar
        ? icalendar(things, SystemTime().now())
        : csv::write(things, command.excel);
    return writeOutput(command.output, bytes);
}

int importThings(FileOps &ops, const Command &command, const QString &dayFilePath)
{
    const QString &input = command.inputFile;
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Unreadable, QStringLiteral("cannot read %1: %2").arg(input, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(Unreadable, QStringLiteral("cannot read %1: %2").arg(input, file.errorString()));

    QString error;
    const std::optional<csvtext::Decoded> text = csvtext::decode(bytes, command.encoding, &error);
    if (!text)
        return fail(Unreadable, QStringLiteral("nothing imported: %1: %2; save it as UTF-8, or name its encoding with "
                                               "--encoding utf-8|gbk|utf-16")
                                    .arg(input, error));
    note(QStringLiteral("%1: read as %2%3")
             .arg(input, csvtext::nameOf(text->encoding),
                  text->byteOrderMark ? QStringLiteral(" (byte-order mark)") : QString()));
    const std::optional<std::vector<csv::Record>> records = csv::parse(text->text, &error);
    if (!records)
        return fail(Unreadable, QStringLiteral("nothing imported: %1: %2").arg(input, error));
    const ImportRows checked = checkRows(*records);
    for (const QString &problem : checked.problems)
        note(QStringLiteral("%1: %2").arg(input, problem));
    if (!checked.problems.isEmpty())
        return fail(Unreadable, QStringLiteral("nothing imported: %1 has %2 faulty row(s)")
                                               .arg(input)
                                               .arg(checked.problems.size()));

    // The running program is the day file's one writer: its saves would overwrite ours.
    DayFile dayFile(ops, dayFilePath);
    const DayFileLock &lock = dayFile.dayFileLock();
    switch (dayFile.lock()) {
    case DayFileLock::Status::Locked:
        break;
    case DayFileLock::Status::HeldByOther:
        return fail(InUse, QStringLiteral("nothing imported: %1 is in use by Tallyleaf (process %2); close it and "
                                          "import again")
                               .arg(dayFilePath)
                               .arg(lock.holderPid()));
    case DayFileLock::Status::Blocked:
        return fail(NotWritten, QStringLiteral("nothing imported: %1 stands where the day file's lock goes and cannot be "
                                               "taken over (%2); remove it if no Tallyleaf is running")
                                    .arg(lock.obstacle(), lock.obstacleReason()));
    case DayFileLock::Status::Failed:
    case DayFileLock::Status::NoLocking:
        return fail(NotWritten, QStringLiteral("nothing imported: %1; without the lock another program could write at "
                                               "the same time")
                                    .arg(lock.problem().describe()));
    case DayFileLock::Status::Unlocked:
        break;
    }

    const LoadReport load = dayFile.load();
    noteRecovery(dayFilePath, load.recovery, load.keptAsideJournal, false);
    if (!load.ok())
        return fail(Unreadable, QStringLiteral("nothing imported: %1").arg(load.problem.describe()));
    if (!load.writable())
        return fail(NotWritten, QStringLiteral("nothing imported: %1 can be read but not written").arg(dayFilePath));
    const DayTable &table = dayFile.table();

    for (const QString &cut : checked.notes)
        note(QStringLiteral("%1: %2").arg(input, cut));
    const std::vector<std::pair<QDate, DayThings>> days = changedDays(table, checked);
    if (!days.empty()) {
        const SaveReport save = dayFile.saveDays(days);
        switch (save.status) {
        case SaveReport::Status::OnDisk:
            break;
        case SaveReport::Status::NoGbkForm: // a text already in the day file that cannot be read back
            return fail(Unreadable, QStringLiteral("nothing imported: %1: %2").arg(dayFilePath, save.describe(dayFilePath)));
        case SaveReport::Status::Replaced: // by something that does not take the lock
            return fail(InUse, QStringLiteral("nothing imported: %1 was replaced or changed while it was imported into; "
                                              "import again")
                                   .arg(dayFilePath));
        case SaveReport::Status::TableFull:
        case SaveReport::Status::NotOnDisk:
            // The journal undoes whatever part reached the file, at the next start or import.
            return fail(NotWritten, QStringLiteral("nothing imported: %1").arg(save.describe(dayFilePath)));
        }
    }
    std::printf("%s\n", qPrintable(QStringLiteral("%1: %2 row(s) read, %3 day(s) changed in %4")
                                       .arg(input)
                                       .arg(checked.rows.size())
                                       .arg(days.size())
                                       .arg(QDir::toNativeSeparators(dayFilePath))));
    return Success;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The program's name picks the user's data folder, so the tool finds the program's day file.
    QCoreApplication::setApplicationName(QStringLiteral("Tallyleaf"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLYLEAF_VERSION));

    const std::variant<Command, int> parsed = parseArguments(QCoreApplication::arguments());
    if (const int *status = std::get_if<int>(&parsed))
        return *status;
    const Command &command = std::get<Command>(parsed);
    FileOps ops; // the real file system, passed down to everything that reads or writes
    const QString dayFilePath = command.dayFile.isEmpty() ? defaultDayFilePath(ops) : command.dayFile;
    return command.kind == Command::Kind::Export ? exportThings(ops, command, dayFilePath)
                                                 : importThings(ops, command, dayFilePath);
}
