#include "arguments.h"

#include "exitstatus.h"

#include <QCommandLineParser>
#include <cstdio>

namespace {

const char *const Description = R"(Takes the things of a Tallyleaf day book to a calendar or a spreadsheet, and brings lists in.

  tallyleaf-tool export --format ics|csv [--from DATE] [--to DATE] [--output FILE] [--excel]
      Writes the things of every day from --from to --to (dates as 2026-12-08, both days
      included; all days when left out) to standard output, or to FILE.
      ics: an iCalendar file, one to-do per thing, due on its day, completed when ticked.
      csv: the columns date,number,done,text in UTF-8; --excel adds the byte-order mark that
      Excel needs to read UTF-8. Export changes nothing and may run while Tallyleaf is open.
      Stored bytes that are no GBK character (a damaged or foreign day file) are written as
      U+FFFD, and standard error names the thing.

  tallyleaf-tool import --format csv [--encoding utf-8|gbk|utf-16] FILE
      Reads FILE with the columns date,number,done,text (as export writes them: date as
      2026-12-08, number 1 to 5; done as yes/no, 是/否, √ or empty, true/false, 1/0 or
      已完成/未完成, in any case). Each row sets that thing of that day; the
      day's other things stay. A text is kept to the day file's 160 bytes (GBK) as the window
      keeps it; a character without a GBK form (U+FFFD among them) is refused. Nothing is
      written unless every row is valid. Close Tallyleaf first.
      FILE may be UTF-8 (with or without a byte-order mark), UTF-16 with a byte-order mark
      (Excel's "Unicode text"), or GBK (Excel's "CSV" on a Chinese Windows): a file that is not
      UTF-8 and has no byte-order mark is read as GBK, and standard error says which was used.
      --encoding names the encoding instead.

  tallyleaf-tool sync [--url URL --user NAME] [--since DAYS|all] [--prefer here|server]
                      [--allow-deletions] [--timeout SECONDS]
      Brings the day book and a CalDAV calendar (Radicale, Nextcloud, ...) into step, both ways:
      each thing with text or a tick is one to-do. URL is the calendar, or the server or your
      principal when it holds one calendar for to-dos. The URL and the name are remembered, so
      later a plain sync repeats it. --since sets how far back the sync reaches: the last DAYS
      days and every later day (365 at first), or all; it is remembered too. Things and to-dos
      of earlier days are left as they are on both sides, never deleted; a wider range later
      brings them in without doubles. The password comes from TALLYLEAF_CALDAV_PASSWORD, else
      from the system's keychain, else it is asked for and then kept in the keychain. A thing
      changed on both sides is a conflict: both stay as they are unless --prefer says which
      side wins (only where both changed it). A to-do is deleted only for a thing emptied here
      since both sides agreed, never for one the day file has no record of; a sync that would
      delete many at once (more than 5 and more than a tenth, or all of them) does nothing and
      exits with 5 unless --allow-deletions is given. The sync's state is kept in
      $XDG_STATE_HOME/Tallyleaf (~/.local/state/Tallyleaf), never beside the day file.
      Close Tallyleaf first.

All work on the day file Tallyleaf itself uses on this machine unless --day-file names another.)";

const char *const Epilogue = R"(
Exit status:
  0  success
  1  the command line is wrong
  2  the input cannot be read or holds something wrong (the CSV file, the day file)
  3  the day file is in use: Tallyleaf is running, or the file changed while it was read
  4  the output or the day file cannot be written
  5  sync: conflicts remain, each side as it was (see the list), to-dos stay on the server that
     no thing can show, or a sync would delete many at once and did nothing
  6  sync: the server cannot be reached, refuses, or answers wrongly

Examples:
  tallyleaf-tool export --format ics --from 2026-01-01 --output things.ics
  tallyleaf-tool import --format csv things.csv
  tallyleaf-tool sync --url https://dav.example.org/alice/things/ --user alice
)";

int usageError(const QString &message)
{
    std::fprintf(stderr, "tallyleaf-tool: %s\nTry 'tallyleaf-tool --help'.\n", qPrintable(message));
    return BadUsage;
}

} // namespace

std::variant<Command, int> parseArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("ics or csv for export, csv for import."),
                                    QStringLiteral("FORMAT"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("First day to export."), QStringLiteral("DATE"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Last day to export."), QStringLiteral("DATE"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("Export into FILE instead of standard output."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption excel(QStringLiteral("excel"), QStringLiteral("Begin a CSV export with a byte-order mark."));
    const QCommandLineOption encoding(QStringLiteral("encoding"),
                                      QStringLiteral("The CSV file's encoding: utf-8, gbk or utf-16."),
                                      QStringLiteral("ENCODING"));
    const QCommandLineOption dayFile(QStringLiteral("day-file"), QStringLiteral("The day file to use."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption url(QStringLiteral("url"), QStringLiteral("sync: the CalDAV calendar or server."),
                                 QStringLiteral("URL"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("sync: your name on the server."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption prefer(QStringLiteral("prefer"),
                                    QStringLiteral("sync: settle conflicts for this side, here or server."),
                                    QStringLiteral("SIDE"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("sync: give up on a server silent for SECONDS (default 60)."),
                                     QStringLiteral("SECONDS"));
    const QCommandLineOption allowDeletions(QStringLiteral("allow-deletions"),
                                            QStringLiteral("sync: carry out a sync that deletes many to-dos at once."));
    const QCommandLineOption since(QStringLiteral("since"),
                                   QStringLiteral("sync: reach back DAYS days (all: every day; 365 at first)."),
                                   QStringLiteral("DAYS"));
    parser.addOptions({format, from, to, output, excel, encoding, dayFile, url, user, since, prefer, allowDeletions,
                       timeout});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("export, import or sync."),
                                 QStringLiteral("export|import|sync"));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The CSV file to import."),
                                 QStringLiteral("[FILE]"));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        // The usage line names the program as it is called, not by the path it was started with.
        QString text = parser.helpText();
        text.replace(arguments.value(0), QStringLiteral("tallyleaf-tool"));
        std::printf("%s%s", qPrintable(text), Epilogue);
        return Success;
    }
    if (parser.isSet(version)) {
        std::printf("tallyleaf-tool %s\n", TALLYLEAF_VERSION);
        return Success;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("say export, import or sync"));
    Command command;
    command.dayFile = parser.value(dayFile);
    if (parser.isSet(dayFile) && command.dayFile.isEmpty())
        return usageError(QStringLiteral("--day-file needs a path"));

    for (const QCommandLineOption *syncOnly : {&url, &user, &since, &prefer, &allowDeletions, &timeout}) {
        if (parser.isSet(*syncOnly) && positional.front() != u"sync")
            return usageError(QStringLiteral("--%1 is for sync").arg(syncOnly->names().front()));
    }
    const QString formatName = parser.value(format);
    if (positional.front() == u"export") {
        command.kind = Command::Kind::Export;
        if (positional.size() > 1)
            return usageError(QStringLiteral("export takes no file; use --output FILE"));
        if (formatName == u"ics")
            command.format = Command::Format::ICalendar;
        else if (formatName == u"csv")
            command.format = Command::Format::Csv;
        else
            return usageError(QStringLiteral("export needs --format ics or --format csv"));
        for (const auto &[option, date] : {std::pair{&from, &command.from}, std::pair{&to, &command.to}}) {
            if (!parser.isSet(*option))
                continue;
            *date = QDate::fromString(parser.value(*option), u"yyyy-MM-dd");
            if (!date->isValid())
                return usageError(QStringLiteral("--%1 %2 is not a date such as 2026-12-08")
                                      .arg(option->names().front(), parser.value(*option)));
        }
        if (command.from.isValid() && command.to.isValid() && command.from > command.to)
            return usageError(QStringLiteral("--from is after --to"));
        command.output = parser.value(output);
        if (parser.isSet(output) && command.output.isEmpty())
            return usageError(QStringLiteral("--output needs a file"));
        command.excel = parser.isSet(excel);
        if (command.excel && command.format != Command::Format::Csv)
            return usageError(QStringLiteral("--excel is for CSV"));
        if (parser.isSet(encoding))
            return usageError(QStringLiteral("--encoding is for import; export writes UTF-8"));
        return command;
    }
    if (positional.front() == u"import") {
        command.kind = Command::Kind::Import;
        if (formatName != u"csv")
            return usageError(QStringLiteral("import needs --format csv"));
        for (const QCommandLineOption *exportOnly : {&from, &to, &output, &excel}) {
            if (parser.isSet(*exportOnly))
                return usageError(QStringLiteral("--%1 is for export").arg(exportOnly->names().front()));
        }
        if (positional.size() != 2)
            return usageError(QStringLiteral("import needs one CSV file"));
        command.inputFile = positional[1];
        if (parser.isSet(encoding)) {
            command.encoding = csvtext::encodingNamed(parser.value(encoding));
            if (!command.encoding)
                return usageError(QStringLiteral("--encoding %1: say utf-8, gbk or utf-16").arg(parser.value(encoding)));
        }
        return command;
    }
    if (positional.front() == u"sync") {
        command.kind = Command::Kind::Sync;
        for (const QCommandLineOption *other : {&format, &from, &to, &output, &excel, &encoding}) {
            if (parser.isSet(*other))
                return usageError(QStringLiteral("--%1 is not for sync").arg(other->names().front()));
        }
        if (positional.size() != 1)
            return usageError(QStringLiteral("sync takes no file"));
        command.url = parser.value(url);
        command.user = parser.value(user);
        const QString side = parser.value(prefer);
        if (side == u"here")
            command.prefer = Command::Prefer::Here;
        else if (side == u"server")
            command.prefer = Command::Prefer::Server;
        else if (parser.isSet(prefer))
            return usageError(QStringLiteral("--prefer takes here or server"));
        command.allowDeletions = parser.isSet(allowDeletions);
        if (parser.isSet(since)) {
            bool ok = false;
            const int days = parser.value(since).toInt(&ok);
            if (parser.value(since) == u"all")
                command.sinceDays = -1;
            else if (ok && days >= 0 && days <= 3'660'000)
                command.sinceDays = days;
            else
                return usageError(QStringLiteral("--since takes a number of days or all"));
        }
        if (parser.isSet(timeout)) {
            bool ok = false;
            command.timeoutSeconds = parser.value(timeout).toInt(&ok);
            if (!ok || command.timeoutSeconds < 1 || command.timeoutSeconds > 3600)
                return usageError(QStringLiteral("--timeout takes 1 to 3600 seconds"));
        }
        return command;
    }
    return usageError(QStringLiteral("unknown command %1; say export, import or sync").arg(positional.front()));
}
