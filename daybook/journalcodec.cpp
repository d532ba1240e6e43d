// The journal's bytes (F1 in rollbackjournal.h), and reading a file through a journal.
#include "rollbackjournal.h"

#include <QCryptographicHash>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace rollbackjournal {

namespace {

constexpr QByteArrayView Magic("TLJRNL02");
constexpr qsizetype BodyHeaderLength = 8 + 8 + 8 + 8 + 4;
constexpr qsizetype RangeHeaderLength = 8 + 4 + 4;
constexpr auto Hash = QCryptographicHash::Sha256;
constexpr qsizetype HashLength = 32;

template<typename T>
void put(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian<T>(value, bytes);
    out.append(bytes, qsizetype(sizeof(T)));
}

qint64 oldCount(qint64 oldLength, qint64 offset, qint64 length)
{
    return std::clamp<qint64>(oldLength - offset, 0, length);
}

} // namespace

bool startsAsJournal(QByteArrayView header)
{
    return header.startsWith(Magic);
}

QByteArray encode(const Journal &journal)
{
    QByteArray out(Magic.data(), Magic.size());
    put<qint64>(out, 0); // the length, filled in below
    put<qint64>(out, journal.oldLength);
    put<qint64>(out, journal.newLength);
    put<quint32>(out, quint32(journal.ranges.size()));
    for (const Range &range : journal.ranges) {
        put<qint64>(out, range.offset);
        put<quint32>(out, quint32(range.newBytes.size()));
        put<quint32>(out, quint32(range.oldBytes.size()));
        out += range.oldBytes;
        out += range.newBytes;
    }
    qToLittleEndian<qint64>(out.size() + HashLength, out.data() + 8);
    out += QCryptographicHash::hash(out, Hash);
    return out;
}

std::optional<Journal> decode(QByteArrayView bytes)
{
    if (bytes.size() < BodyHeaderLength + HashLength || !bytes.startsWith(Magic))
        return std::nullopt;
    const qint64 length = qFromLittleEndian<qint64>(bytes.data() + 8);
    if (length < BodyHeaderLength + HashLength || length > bytes.size())
        return std::nullopt;
    const QByteArrayView body = bytes.first(length - HashLength);
    if (QCryptographicHash::hash(body, Hash) != bytes.sliced(body.size(), HashLength))
        return std::nullopt;

    const char *p = body.data();
    Journal journal;
    journal.oldLength = qFromLittleEndian<qint64>(p + 16);
    journal.newLength = qFromLittleEndian<qint64>(p + 24);
    const quint32 count = qFromLittleEndian<quint32>(p + 32);
    if (journal.oldLength < 0 || journal.newLength < journal.oldLength)
        return std::nullopt;
    qsizetype at = BodyHeaderLength;
    qint64 end = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (body.size() - at < RangeHeaderLength)
            return std::nullopt;
        const qint64 offset = qFromLittleEndian<qint64>(p + at);
        const quint32 newCount = qFromLittleEndian<quint32>(p + at + 8);
        const quint32 oldBytes = qFromLittleEndian<quint32>(p + at + 12);
        at += RangeHeaderLength;
        if (offset < end || offset > journal.newLength || newCount > journal.newLength - offset
            || oldBytes != oldCount(journal.oldLength, offset, newCount)
            || qint64(oldBytes) + newCount > body.size() - at)
            return std::nullopt;
        journal.ranges.push_back({offset, body.sliced(at, oldBytes).toByteArray(),
                                  body.sliced(at + oldBytes, newCount).toByteArray()});
        at += qsizetype(oldBytes) + newCount;
        end = offset + newCount;
    }
    if (at != body.size())
        return std::nullopt;
    return journal;
}

void overlay(const Journal &journal, qint64 offset, char *buffer, qint64 count)
{
    for (const Range &range : journal.ranges) {
        const qint64 from = std::max(offset, range.offset);
        const qint64 to = std::min(offset + count, range.offset + range.oldBytes.size());
        if (from < to)
            std::memcpy(buffer + (from - offset), range.oldBytes.constData() + (from - range.offset), size_t(to - from));
    }
}

} // namespace rollbackjournal
