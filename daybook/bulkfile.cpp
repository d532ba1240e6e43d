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

namespace bulkfile {

namespace {

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

Result save(const QString &path, const BulkTable &table, qint32 count)
{
    Result result;
    count = qBound(0, count, BulkTable::BulkCapacity);
    FileOps &ops = FileOps::system();
    const int fd = ops.open(path, O_WRONLY | O_CREAT);
    if (fd < 0) {
        result.error = systemError("Cannot open", path);
        return result;
    }
    const size_t length = size_t(count) * size_t(recordimage::SlotLength);
    std::unique_ptr<char[]> buffer(new char[length]);
    for (qint32 i = 1; i <= count; ++i) {
        recordimage::encode(table.at(i), std::span<char, recordimage::SlotLength>(
                                             buffer.get() + size_t(i - 1) * recordimage::SlotLength,
                                             recordimage::SlotLength));
    }
    const bool written = writeAll(ops, fd, buffer.get(), length, 0);
    if (!written)
        result.error = systemError("Cannot write", path);
    if (ops.close(fd) != 0 && written)
        result.error = systemError("Cannot close", path);
    result.ok = result.error.isEmpty();
    result.records = result.ok ? count : 0;
    return result;
}

Result load(const QString &path, BulkTable &table)
{
    Result result;
    FileOps &ops = FileOps::system();
    int fd = ops.open(path, O_RDWR | O_CREAT);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ops.open(path, O_RDONLY);
    if (fd < 0) {
        result.error = systemError("Cannot open", path);
        return result;
    }
    const off_t size = ops.size(fd);
    const qint64 wanted = qMin<qint64>(qMax<qint64>(size, 0),
                                       qint64(BulkTable::BulkCapacity) * recordimage::SlotLength);
    std::unique_ptr<char[]> buffer(new char[size_t(wanted)]);
    const ssize_t n = size < 0 ? -1 : readAll(ops, fd, buffer.get(), size_t(wanted), 0);
    if (n < 0) {
        result.error = systemError("Cannot read", path);
        ops.close(fd);
        return result;
    }
    ops.close(fd);

    // A slot counts once its 178-byte image is there, as in the day file.
    const qint32 records = n < recordimage::ImageLength
                               ? 0
                               : qint32((n - recordimage::ImageLength) / recordimage::SlotLength + 1);
    table.reserve(records);
    QByteArray text; // consecutive equal texts share one copy
    for (qint32 i = 1; i <= records; ++i) {
        const recordimage::RecordView v = recordimage::view(std::span<const char, recordimage::ImageLength>(
            buffer.get() + size_t(i - 1) * recordimage::SlotLength, recordimage::ImageLength));
        if (v.ThingText != QByteArrayView(text))
            text = v.ThingText.toByteArray();
        table.set(i, DayRecord{v.Reserved, v.ThingNo, text, v.Done, v.ThingDate});
    }
    for (qint32 i = records + 1; i <= table.filled(); ++i)
        table.set(i, DayRecord{});
    result.ok = true;
    result.records = records;
    return result;
}

} // namespace bulkfile
