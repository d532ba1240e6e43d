#pragma once

#include "exportthings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Comma-separated values as RFC 4180 has them. The columns are date,number,done,text. Written in
// UTF-8; read from text already decoded (see csvtext.h).
namespace csv {

inline constexpr QByteArrayView Header = "date,number,done,text";

// The header and one row per thing, CRLF after each; with excel, a UTF-8 byte-order mark first,
// the one sign Excel takes for UTF-8.
QByteArray write(const std::vector<DatedThing> &things, bool excel);

// One record of a file and its row, as a spreadsheet numbers them: the header is row 1, and a
// blank line is a row too.
struct Record
{
    qint64 row = 0;
    QStringList fields;
};

// The records of a file's text; blank lines and the last line break are not records. Lines may
// end in CRLF or LF; a quote inside an unquoted field is taken as it is. Fields are separated as
// the first line separates them: by commas, or by tabs (Excel's "Unicode text") or semicolons
// (Excel where the comma is the decimal sign). Nothing, with error naming the row, when a quoted
// field is not closed or text follows a closing quote.
std::optional<std::vector<Record>> parse(QStringView text, QString *error);

} // namespace csv
