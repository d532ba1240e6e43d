#include "csv.h"


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

std::optional<std::vector<Record>> parse(QStringView text, QString *error)
{
    // The separator the header uses: the one that splits its first line into the four columns.
    const QStringView firstLine = text.left(text.indexOf(u'\n') < 0 ? text.size() : text.indexOf(u'\n'));
    QChar separator = u',';
    for (const QChar candidate : {u',', u'\t', u';'}) {
        if (firstLine.count(candidate) == 3) {
            separator = candidate;
            break;
        }
    }

    std::vector<Record> records;
    Record record{1, {}};
    QString value;
    qint64 row = 1;
    const auto endRecord = [&] {
        record.fields.append(value);
        value.clear();
        if (record.fields.size() > 1 || !record.fields.front().isEmpty())
            records.push_back(std::move(record));
        record = Record{row, {}};
    };

    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text[i];
        if (c == u'"' && value.isEmpty()) {
            ++i;
            for (;;) {
                if (i >= n) {
                    *error = QStringLiteral("row %1: a quoted field is not closed").arg(record.row);
                    return std::nullopt;
                }
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        value += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            if (i < n && text[i] != separator && text[i] != u'\r' && text[i] != u'\n') {
                *error = QStringLiteral("row %1: text after the closing quote of a field").arg(record.row);
                return std::nullopt;
            }
            continue;
        }
        if (c == separator) {
            record.fields.append(value);
            value.clear();
            ++i;
        } else if (c == u'\r' || c == u'\n') {
            i += (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ? 2 : 1;
            ++row;
            endRecord();
        } else {
            value += c;
            ++i;
        }
    }
    if (!value.isEmpty() || !record.fields.isEmpty())
        endRecord();
    return records;
}

} // namespace csv
