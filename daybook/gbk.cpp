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

bool isLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

} // namespace

std::optional<QByteArray> encode(QStringView text)
{
    if (text.isEmpty())
        return QByteArray();
    QStringEncoder &e = encoder();
    QByteArray bytes = e.encode(text);
    if (e.hasError())
        return std::nullopt;
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
    return decoder().decode(bytes);
}

QByteArrayView fit(QByteArrayView bytes, qsizetype maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes;
    qsizetype end = 0;
    while (end < bytes.size()) {
        const qsizetype width = isLeadByte(static_cast<unsigned char>(bytes[end])) ? 2 : 1;
        if (end + width > maxBytes)
            break;
        end += width;
    }
    return bytes.first(end);
}

} // namespace gbk
