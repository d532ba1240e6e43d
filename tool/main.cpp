// tallyleaf-tool: export the day book to iCalendar or CSV, import things from CSV, sync with CalDAV.
#include "arguments.h"
#include "csv.h"
#include "dayfilelocation.h"
#include "exitstatus.h"
#include "exportthings.h"
#include "fileops.h"
#include "icalendar.h"
#include "importcsv.h"
#include "messages.h"
#include "steadyread.h"
#include "synccommand.h"
#include "timesource.h"
#include "writabledaybook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <cstdio>

namespace {

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
                                               .arg(QLocale(QLocale::English).toString(checked.faultyRows)));

    DayFile dayFile(ops, dayFilePath);
    if (const std::optional<int> status = openForWriting(dayFile, QStringLiteral("import"), QStringLiteral("imported")))
        return *status;
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
    const DayFileSetting setting; // where the window keeps the day file, when the user chose
    const QString dayFilePath = defaultDayFilePath(ops, command.dayFile, setting);
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
