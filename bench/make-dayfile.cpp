// make-dayfile: writes a day file of realistic content for benchmarks and tests.
#include "dayfilegen.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a day file of 200-byte slots: consecutive days of five things each, ending on the last day."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The day file to write (replaced)."));
    const QCommandLineOption recordsOption({QStringLiteral("n"), QStringLiteral("records")},
                                           QStringLiteral("Number of records (default 1000000)."),
                                           QStringLiteral("records"), QString::number(dayfilegen::DefaultRecords));
    const QCommandLineOption seedOption({QStringLiteral("s"), QStringLiteral("seed")},
                                        QStringLiteral("Seed of the content."), QStringLiteral("seed"),
                                        QString::number(dayfilegen::DefaultSeed));
    const QCommandLineOption lastDayOption({QStringLiteral("d"), QStringLiteral("last-day")},
                                           QStringLiteral("The last day, YYYY-MM-DD (default today)."),
                                           QStringLiteral("date"));
    parser.addOptions({recordsOption, seedOption, lastDayOption});
    parser.process(app);

    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        parser.showHelp(2);
    bool recordsOk = false;
    bool seedOk = false;
    const qint64 records = parser.value(recordsOption).toLongLong(&recordsOk);
    const quint64 seed = parser.value(seedOption).toULongLong(&seedOk);
    const QDate lastDay = parser.isSet(lastDayOption)
                              ? QDate::fromString(parser.value(lastDayOption), Qt::ISODate)
                              : QDate::currentDate();
    if (!recordsOk || records < 0 || !seedOk || !lastDay.isValid()) {
        std::fprintf(stderr, "make-dayfile: bad number of records, seed or date\n");
        return 2;
    }

    const auto result = dayfilegen::writeDayFile(files.first(), records, seed, lastDay);
    if (!result.ok) {
        std::fprintf(stderr, "make-dayfile: %s: %s\n", qPrintable(files.first()), qPrintable(result.error));
        return 1;
    }
    return 0;
}
