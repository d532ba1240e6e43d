#pragma once

#include "csvtext.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

// What the command line asks for.
struct Command
{
    enum class Kind { Export, Import, Sync };
    enum class Format { ICalendar, Csv };

    Kind kind = Kind::Export;
    Format format = Format::Csv;
    QDate from;     // invalid: from the first day
    QDate to;       // invalid: to the last day
    QString output; // empty: standard output
    bool excel = false;
    QString dayFile;   // empty: where Tallyleaf keeps it
    QString inputFile; // the CSV file of an import
    std::optional<csvtext::Encoding> encoding; // the CSV file's, when the user names it

    // sync
    QString url;  // empty: the one remembered
    QString user; // empty: the one remembered
    enum class Prefer { Ask, Here, Server };
    Prefer prefer = Prefer::Ask;
    bool allowDeletions = false; // carry out a sync that deletes many to-dos at once
    std::optional<int> sinceDays; // how far back the sync reaches (-1: every day); nothing: as last time
    int timeoutSeconds = 60;
};

// The command, or the exit status when there is nothing more to do: the help or the version was
// printed, or the command line was wrong (the message is on standard error).
std::variant<Command, int> parseArguments(const QStringList &arguments);
