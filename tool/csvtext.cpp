#include "csvtext.h"

#include <QStringDecoder>

namespace csvtext {

namespace {

constexpr QByteArrayView Utf8Mark = "\xEF\xBB\xBF";
constexpr QByteArrayView Utf16LeMark = "\xFF\xFE";
constexpr QByteArrayView Utf16BeMark = "\xFE\xFF";

// The first line (1-based) that a fresh decoder from make cannot read; 0 when every line reads.
// Line breaks are single bytes in UTF-8 and GBK alike, never part of a longer character.
template <typename MakeDecoder>
qint64 firstBadLine(QByteArrayView bytes, MakeDecoder make)
{
    qint64 line = 1;
    for (qsizetype start = 0; start <= bytes.size(); ++line) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        QStringDecoder decoder = make();
        [[maybe_unused]] const QString text = decoder.decode(bytes.sliced(start, end - start));
        if (decoder.hasError())
            return line;
        start = end + 1;
    }
    return 0;
}

QStringDecoder utf8() { return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless); }
QStringDecoder gbk() { return QStringDecoder("GBK", QStringDecoder::Flag::Stateless); }

std::optional<QString> decodeWhole(QByteArrayView bytes, QStringDecoder &&decoder)
{
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

std::optional<Encoding> encodingNamed(QStringView name)
{
    const QString lower = name.toString().toLower().remove(QLatin1Char('-')).remove(QLatin1Char('_'));
    if (lower == u"utf8")
        return Encoding::Utf8;
    if (lower == u"utf16")
        return Encoding::Utf16;
    if (lower == u"gbk" || lower == u"cp936" || lower == u"gb2312")
        return Encoding::Gbk;
    return std::nullopt;
}

QString nameOf(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case Encoding::Utf16:
        return QStringLiteral("UTF-16");
    case Encoding::Gbk:
        return QStringLiteral("GBK");
    }
    return QString();
}

std::optional<Decoded> decode(QByteArrayView bytes, std::optional<Encoding> named, QString *error)
{
    Decoded d;
    // A byte-order mark says what the file is, unless the user says otherwise.
    if (!named || *named == Encoding::Utf16) {
        const bool little = bytes.startsWith(Utf16LeMark), big = bytes.startsWith(Utf16BeMark);
        if (little || big || named) {
            d.encoding = Encoding::Utf16;
            d.byteOrderMark = little || big;
            const QByteArrayView body = d.byteOrderMark ? bytes.sliced(2) : bytes; // none: as Windows writes it
            const auto text = decodeWhole(body, QStringDecoder(big ? QStringDecoder::Utf16BE : QStringDecoder::Utf16LE,
                                                               QStringDecoder::Flag::Stateless));
            if (!text) {
                *error = QStringLiteral("the text is not UTF-16");
                return std::nullopt;
            }
            d.text = *text;
            return d;
        }
    }
    if (!named || *named == Encoding::Utf8) {
        d.byteOrderMark = bytes.startsWith(Utf8Mark);
        const QByteArrayView body = d.byteOrderMark ? bytes.sliced(Utf8Mark.size()) : bytes;
        if (const auto text = decodeWhole(body, utf8())) {
            d.text = *text;
            return d;
        }
        if (named || d.byteOrderMark) {
            *error = QStringLiteral("line %1: the text is not UTF-8").arg(firstBadLine(body, utf8));
            return std::nullopt;
        }
    }
    d.encoding = Encoding::Gbk;
    d.byteOrderMark = false;
    if (const auto text = decodeWhole(bytes, gbk())) {
        d.text = *text;
        return d;
    }
    *error = named ? QStringLiteral("line %1: the text is not GBK").arg(firstBadLine(bytes, gbk))
                   : QStringLiteral("line %1: the text is neither UTF-8 nor GBK").arg(firstBadLine(bytes, gbk));
    return std::nullopt;
}

} // namespace csvtext
