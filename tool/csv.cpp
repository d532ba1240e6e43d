#include "csv.h"

#include <QStringDecoder>

namespace csv {

namespace {

constexpr QByteArrayView ByteOrderMark = "\xEF\xBB\xBF";

QByteArray field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') && !bytes.contains('\n'))
        return bytes;
    return '"' + bytes.replace('"', "\"\"") + '"';
}

} // namespace

QByteArray write(const std::vector<DatedThing> &things, bool excel)
{
    QByteArray out;
    if (excel)
        out += ByteOrderMark;
    out += Header;
    out += "\r\n";
    for (const DatedThing &thing : things) {
        out += thing.day.toString(Qt::ISODate).toLatin1() + ',' + QByteArray::number(thing.number) + ','
            + (thing.done ? "yes" : "no") + ',' + field(thing.text) + "\r\n";
    }
    return out;
}

std::optional<std::vector<Record>> parse(QByteArrayView bytes, QString *error)
{
    if (bytes.startsWith(ByteOrderMark))
        bytes = bytes.sliced(ByteOrderMark.size());

    std::vector<Record> records;
    Record record{1, {}};
    QByteArray value;
    qint64 row = 1;
    bool badText = false;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const auto endField = [&] {
        record.fields.append(utf8.decode(value));
        badText = badText || utf8.hasError();
        value.clear();
    };
    const auto endRecord = [&] {
        endField();
        if (badText) {
            *error = QStringLiteral("row %1: the text is not UTF-8").arg(record.row);
            return false;
        }
        if (record.fields.size() > 1 || !record.fields.front().isEmpty())
            records.push_back(std::move(record));
        record = Record{row, {}};
        return true;
    };

    qsizetype i = 0;
    const qsizetype n = bytes.size();
    while (i < n) {
        const char c = bytes[i];
        if (c == '"' && value.isEmpty()) {
            ++i;
            for (;;) {
                if (i >= n) {
                    *error = QStringLiteral("row %1: a quoted field is not closed").arg(record.row);
                    return std::nullopt;
                }
                if (bytes[i] == '"') {
                    if (i + 1 < n && bytes[i + 1] == '"') {
                        value += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += bytes[i++];
            }
            if (i < n && bytes[i] != ',' && bytes[i] != '\r' && bytes[i] != '\n') {
                *error = QStringLiteral("row %1: text after the closing quote of a field").arg(record.row);
                return std::nullopt;
            }
            continue;
        }
        if (c == ',') {
            endField();
            ++i;
        } else if (c == '\r' || c == '\n') {
            i += (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ? 2 : 1;
            ++row;
            if (!endRecord())
                return std::nullopt;
        } else {
            value += c;
            ++i;
        }
    }
    if (!value.isEmpty() || !record.fields.isEmpty()) {
        if (!endRecord())
            return std::nullopt;
    }
    return records;
}

} // namespace csv
