// tallyleaf-tool: export the day book to iCalendar or CSV, import things from CSV, sync with CalDAV.
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
#include "synccommand.h"
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
    const std::optional<std::vector<csv::Record>> records = csv::parse(bytes, &error);
    if (!records)
        return fail(Unreadable, QStringLiteral("%1: %2").arg(input, error));
    const ImportRows checked = checkRows(*records);
    for (const QString &problem : checked.problems)
        note(QStringLiteral("%1: %2").arg(input, problem));
    if (!checked.problems.isEmpty())
        return fail(Unreadable, QStringLiteral("nothing imported: %1 has %2 faulty row(s)")
                                               .arg(input)
                                               .arg(checked.problems.size()));

    // The running program is the day file's one writer: its saves would overwrite ours.
    DayFileLock lock(dayFilePath);
    switch (lock.acquire()) {
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
                                    .arg(lock.obstacle(), lock.detail()));
    case DayFileLock::Status::Failed:
        return fail(NotWritten, QStringLiteral("nothing imported: %1").arg(lock.detail()));
    }

    DayTable table;
    DayFile dayFile(ops);
    const LoadReport load = dayFile.load(dayFilePath, table);
    if (!load.ok())
        return fail(Unreadable, QStringLiteral("nothing imported: %1").arg(load.detail));
    if (load.readOnly)
        return fail(NotWritten, QStringLiteral("nothing imported: %1 can be read but not written").arg(dayFilePath));

    for (const QString &cut : checked.notes)
        note(QStringLiteral("%1: %2").arg(input, cut));
    const std::vector<std::pair<QDate, DayThings>> days = changedDays(table, checked);
    if (!days.empty()) {
        const SaveReport save = dayFile.saveDays(dayFilePath, table, days);
        switch (save.status) {
        case SaveReport::Status::OnDisk:
            break;
        case SaveReport::Status::NoGbkForm: // a text already in the day file that cannot be read back
            return fail(Unreadable, QStringLiteral("nothing imported: %1: %2").arg(dayFilePath, save.detail));
        case SaveReport::Status::Replaced: // by something that does not take the lock
            return fail(InUse, QStringLiteral("nothing imported: %1 was replaced or changed while it was imported into; "
                                              "import again")
                                   .arg(dayFilePath));
        case SaveReport::Status::TableFull:
        case SaveReport::Status::NotOnDisk:
            // The journal undoes whatever part reached the file, at the next start or import.
            return fail(NotWritten, QStringLiteral("nothing imported: %1: %2").arg(dayFilePath, save.detail));
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
    const QString dayFilePath = command.dayFile.isEmpty() ? defaultDayFilePath() : command.dayFile;
    FileOps &ops = FileOps::system();
    switch (command.kind) {
    case Command::Kind::Export:
        return exportThings(ops, command, dayFilePath);
    case Command::Kind::Import:
        return importThings(ops, command, dayFilePath);
    case Command::Kind::Sync:
        return syncThings(ops, command, dayFilePath);
    }
    return BadUsage;
}
