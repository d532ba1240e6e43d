#include "gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace gbk {

namespace {

const char *const CodecName = "GBK";

[[noreturn]] void codecMissing()
{
    std::fprintf(stderr, "tallyleaf: this Qt has no GBK codec (Qt needs ICU); day files cannot be read or written\n");
    std::abort();
}

// Opening a codec is far dearer than converting a thing's few bytes, so each thread keeps one of
// each. Qt 6.4's resetState() does not clear an ICU codec's error, so a codec that has seen an
// error is replaced before its next use.
template <typename Codec>
Codec &cached(std::optional<Codec> &codec)
{
    if (!codec || codec->hasError()) {
        codec.emplace(CodecName, QStringConverter::Flag::Stateless);
        if (!codec->isValid())
            codecMissing();
    }
    return *codec;
}

QStringEncoder &encoder()
{
    thread_local std::optional<QStringEncoder> e;
    return cached(e);
}

QStringDecoder &decoder()
{
    thread_local std::optional<QStringDecoder> d;
    return cached(d);
}

const uchar *ubytes(QByteArrayView bytes) { return reinterpret_cast<const uchar *>(bytes.data()); }

constexpr char32_t StandInBase = 0xF0000;
// Both halves of a stand-in's UTF-16 form: the high one is shared by all of them.
constexpr char16_t StandInHigh = u'\xDB80';
constexpr char16_t StandInLowBase = u'\xDC00';

std::optional<QByteArray> encodeByCodec(QStringView text)
{
    if (text.isEmpty())
        return QByteArray();
    QStringEncoder &e = encoder();
    QByteArray bytes = e.encode(text);
    if (e.hasError())
        return std::nullopt;
    return bytes;
}

QString decodeByCodec(QByteArrayView bytes)
{
    return decoder().decode(bytes);
}

// The byte a stand-in at text[i] keeps, or -1 when text[i] does not start one.
int standInByte(QStringView text, qsizetype i)
{
    if (text[i] != QChar(StandInHigh) || i + 1 >= text.size())
        return -1;
    const int low = text[i + 1].unicode() - StandInLowBase;
    return low >= 0x80 && low <= 0xFF ? low : -1;
}

// Characters one at a time: a GBK pair or a single byte that survives the round trip is a
// character; any other byte becomes a stand-in.
QString decodeKeepingBytes(QByteArrayView bytes)
{
    QString text;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            text += QLatin1Char(char(b));
            ++i;
            continue;
        }
        bool placed = false;
        const qsizetype pair = charWidth(ubytes(bytes) + i, ubytes(bytes) + bytes.size());
        for (const qsizetype width : {qsizetype(2), qsizetype(1)}) {
            if (width > pair)
                continue;
            const QByteArrayView unit = bytes.sliced(i, width);
            const QString ch = decodeByCodec(unit);
            const auto back = ch.isEmpty() ? std::nullopt : encodeByCodec(ch);
            if (back && *back == unit) {
                text += ch;
                i += width;
                placed = true;
                break;
            }
        }
        if (!placed) {
            text += QChar(StandInHigh);
            text += QChar(char16_t(StandInLowBase + b));
            ++i;
        }
    }
    return text;
}

} // namespace

char32_t standInFor(unsigned char byte)
{
    return StandInBase + byte;
}

bool holdsStandIn(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (standInByte(text, i) >= 0)
            return true;
    }
    return false;
}

QString withoutStandIns(QStringView text)
{
    QString readable;
    readable.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (standInByte(text, i) >= 0) {
            readable += QChar::ReplacementCharacter;
            ++i; // both halves
        } else {
            readable += text[i];
        }
    }
    return readable;
}

std::optional<QByteArray> encode(QStringView text)
{
    if (!text.contains(QChar(StandInHigh)))
        return encodeByCodec(text);
    // Runs of characters go through the codec; stand-ins become their bytes again.
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const int kept = i < text.size() ? standInByte(text, i) : -1;
        if (kept < 0 && i < text.size())
            continue;
        const auto run = encodeByCodec(text.sliced(runStart, i - runStart));
        if (!run)
            return std::nullopt;
        bytes += *run;
        if (kept >= 0) {
            bytes += char(kept);
            runStart = i + 2;
            ++i;
        }
    }
    return bytes;
}

bool canEncode(QStringView text)
{
    return encode(text).has_value();
}

QString decode(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return QString();
    // Plain ASCII is by far the commonest and needs no codec.
    bool ascii = true;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(bytes);
    // Nearly always the codec's text gives the bytes back; only foreign bytes need the slow walk.
    QString text = decodeByCodec(bytes);
    if (const auto back = encodeByCodec(text); back && *back == bytes)
        return text;
    return decodeKeepingBytes(bytes);
}

QByteArrayView fit(QByteArrayView bytes, qsizetype maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes;
    qsizetype end = 0;
    while (end < bytes.size()) {
        const qsizetype width = charWidth(ubytes(bytes) + end, ubytes(bytes) + bytes.size());
        if (end + width > maxBytes)
            break;
        end += width;
    }
    return bytes.first(end);
}

} // namespace gbk
