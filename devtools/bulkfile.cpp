#include "bulkfile.h"

#include "dayrecord.h"
#include "fileops.h"
#include "oledate.h"
#include "timesource.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <vector>

namespace bulkfile {

namespace {

constexpr qint32 SlotsPerChunk = 4096;

QString systemError(const char *what, const QString &path)
{
    return QStringLiteral("%1 %2: %3").arg(QLatin1StringView(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

void fillForTest(BulkTable &table, const TimeSource &time)
{
    table.reserve(BulkTable::BulkCapacity);
    for (qint32 i = 1; i <= BulkTable::BulkCapacity; ++i) {
        DayRecord r = table.at(i); // Reserved stays as it is
        r.ThingText = QByteArrayLiteral("test");
        r.ThingNo = 1;
        r.Done = -1;
        r.ThingDate = oledate::fromDate(time.today());
        table.set(i, std::move(r));
    }
}

QString defaultPath()
{
    return QDir(QDir::tempPath()).filePath(QStringLiteral("things10w.dat"));
}

Result save(FileOps &ops, const QString &path, const BulkTable &table, qint32 count)
{
    Result result;
    count = qBound(0, count, BulkTable::BulkCapacity);
    const int fd = ops.open(path, O_WRONLY | O_CREAT);
    if (fd < 0) {
        result.error = systemError("Cannot open", path);
        return result;
    }
    // Encoded a chunk at a time into one buffer that stays in the cache.
    std::vector<char> buffer(size_t(SlotsPerChunk * recordimage::SlotLength));
    bool written = true;
    for (qint32 first = 1; written && first <= count; first += SlotsPerChunk) {
        const qint32 last = std::min(count, first + SlotsPerChunk - 1);
        for (qint32 i = first; i <= last; ++i) {
            recordimage::encode(table.at(i), std::span<char, recordimage::SlotLength>(
                                                 buffer.data() + size_t(i - first) * recordimage::SlotLength,
                                                 recordimage::SlotLength));
        }
        written = writeAll(ops, fd, buffer.data(), size_t(last - first + 1) * recordimage::SlotLength,
                           off_t(first - 1) * recordimage::SlotLength);
    }
    if (!written)
        result.error = systemError("Cannot write", path);
    if (ops.close(fd) != 0 && written)
        result.error = systemError("Cannot close", path);
    result.ok = result.error.isEmpty();
    result.records = result.ok ? count : 0;
    return result;
}

Result load(FileOps &ops, const QString &path, BulkTable &table)
{
    Result result;
    int fd = ops.open(path, O_RDWR | O_CREAT);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ops.open(path, O_RDONLY);
    if (fd < 0) {
        result.error = systemError("Cannot open", path);
        return result;
    }
    const off_t size = ops.size(fd);
    // A slot counts once its 178-byte image is there, as in the day file.
    const qint32 records = size < recordimage::ImageLength
                               ? 0
                               : qint32(std::min<qint64>((qint64(size) - recordimage::ImageLength) / recordimage::SlotLength + 1,
                                                         BulkTable::BulkCapacity));
    table.reserve(records);
    std::vector<char> buffer(size_t(SlotsPerChunk * recordimage::SlotLength));
    QByteArray text; // consecutive equal texts share one copy
    qint32 read = 0;
    while (read < records) {
        const qint32 chunk = std::min(SlotsPerChunk, records - read);
        const size_t wanted = size_t(chunk - 1) * recordimage::SlotLength + recordimage::ImageLength;
        const ssize_t n = readAll(ops, fd, buffer.data(), wanted, off_t(read) * recordimage::SlotLength);
        if (n != ssize_t(wanted)) {
            result.error = n < 0 ? systemError("Cannot read", path)
                                 : QStringLiteral("%1 became shorter while it was read").arg(path);
            break;
        }
        for (qint32 k = 0; k < chunk; ++k) {
            const recordimage::RecordView v = recordimage::view(std::span<const char, recordimage::ImageLength>(
                buffer.data() + size_t(k) * recordimage::SlotLength, recordimage::ImageLength));
            if (v.ThingText != QByteArrayView(text))
                text = v.ThingText.toByteArray();
            table.set(read + k + 1, DayRecord{v.Reserved, v.ThingNo, text, v.Done, v.ThingDate});
        }
        read += chunk;
    }
    ops.close(fd);
    for (qint32 i = read + 1; i <= table.filled(); ++i)
        table.set(i, DayRecord{});
    result.ok = result.error.isEmpty();
    result.records = read;
    return result;
}

} // namespace bulkfile
