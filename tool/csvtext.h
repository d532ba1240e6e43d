#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

// The text of a CSV file as spreadsheets save it: UTF-8 (with or without a byte-order mark),
// UTF-16 with a byte-order mark ("Unicode text"), or GBK, which Excel on a Chinese Windows writes
// for "CSV". Without a byte-order mark a file is UTF-8 when it is valid UTF-8, else GBK when it
// reads as GBK. A named encoding is taken as it is.
namespace csvtext {

enum class Encoding { Utf8, Utf16, Gbk };

struct Decoded
{
    QString text;
    Encoding encoding = Encoding::Utf8;
    bool byteOrderMark = false;
};

// The encoding of a name given on the command line ("utf-8", "gbk", "utf-16"); nothing when unknown.
std::optional<Encoding> encodingNamed(QStringView name);
// How the tool names it to the user.
QString nameOf(Encoding encoding);

// Nothing, with error saying which line does not read (and how it was read), when the bytes are
// not text in the named encoding or in any the file could be in.
std::optional<Decoded> decode(QByteArrayView bytes, std::optional<Encoding> named, QString *error);

} // namespace csvtext
