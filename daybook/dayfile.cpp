#include "dayfile.h"

#include "fileops.h"
#include "gbk.h"
#include "oledate.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <vector>

namespace {

constexpr qsizetype SlotsPerRead = 4096;

QString systemError(const QString &what, const QString &path)
{
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
}

// The slots as runs of consecutive numbers, so that a day's five slots go out in one write.
std::vector<std::pair<qint32, qint32>> runsOf(const std::set<qint32> &slotNumbers)
{
    std::vector<std::pair<qint32, qint32>> runs;
    for (qint32 s : slotNumbers) {
        if (!runs.empty() && runs.back().second + 1 == s)
            runs.back().second = s;
        else
            runs.emplace_back(s, s);
    }
    return runs;
}

} // namespace

DayFile::DayFile(FileOps &ops) : m_ops(ops) {}
DayFile::DayFile() : m_ops(FileOps::system()) {}

LoadReport DayFile::load(const QString &path, DayTable &table)
{
    LoadReport report;
    int fd = m_ops.open(path, O_RDWR | O_CREAT);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = m_ops.open(path, O_RDONLY); // a read-only day file still shows its days
    if (fd < 0) {
        report.status = LoadReport::Status::CannotOpen;
        report.detail = systemError(QStringLiteral("Cannot open"), path);
        m_writableLimit = 0; // nothing was read, so nothing may be overwritten
        return report;
    }

    const off_t length = m_ops.size(fd);
    const qint64 wholeRecords =
        length < recordimage::ImageLength ? 0 : (qint64(length) - recordimage::ImageLength) / recordimage::SlotLength + 1;
    table.clear();
    table.reserve(qint32(std::min<qint64>(wholeRecords, DayTable::DayCapacity)), 0);

    std::vector<char> buffer(size_t(SlotsPerRead * recordimage::SlotLength));
    off_t offset = 0;
    bool failed = false;
    while (true) {
        const ssize_t n = readAll(m_ops, fd, buffer.data(), buffer.size(), offset);
        if (n < 0) {
            failed = true;
            report.status = LoadReport::Status::ReadFailed;
            report.detail = systemError(QStringLiteral("Cannot read"), path);
            break;
        }
        // A slot counts once its 178-byte image is there; the 22 bytes after it carry nothing.
        qsizetype at = 0;
        for (; at + recordimage::ImageLength <= n; at += recordimage::SlotLength) {
            if (!table.append(recordimage::decode(
                    std::span<const char, recordimage::ImageLength>(buffer.data() + at, recordimage::ImageLength)))) {
                failed = true;
                report.status = LoadReport::Status::TooManyRecords;
                report.detail = QStringLiteral("%1 holds more than %2 records").arg(path).arg(DayTable::DayCapacity);
                break;
            }
        }
        if (failed || n < ssize_t(buffer.size()))
            break;
        offset += n;
    }
    m_ops.close(fd);

    report.recordsRead = table.DayCount();
    m_pending.clear(); // the table now mirrors the file
    m_writableLimit = failed ? table.DayCount() : std::numeric_limits<qint32>::max();
    return report;
}

SaveReport DayFile::saveDay(const QString &path, DayTable &table, QDate day, const DayThings &things)
{
    SaveReport report;
    std::array<QByteArray, 5> texts;
    for (size_t i = 0; i < things.size(); ++i) {
        const auto encoded = gbk::encode(things[i].text);
        if (!encoded) {
            report.status = SaveReport::Status::NoGbkForm;
            report.detail = QStringLiteral("Thing %1 has characters without a GBK form").arg(i + 1);
            return report;
        }
        texts[i] = *encoded;
    }

    const double date = oledate::fromDate(day);
    int missing = 0;
    for (qint32 no = 1; no <= 5; ++no)
        missing += table.find(date, no) ? 0 : 1;
    if (qint64(table.DayCount()) + missing > DayTable::DayCapacity) {
        report.status = SaveReport::Status::TableFull;
        report.detail = QStringLiteral("The day book is full (%1 records)").arg(DayTable::DayCapacity);
        return report;
    }

    for (qint32 no = 1; no <= 5; ++no) {
        const qint32 index = *table.findOrAppend(date, no);
        table.setThing(index, texts[size_t(no - 1)], things[size_t(no - 1)].done);
        m_pending.insert(index);
    }
    return writePending(path, table);
}

SaveReport DayFile::flushPending(const QString &path, const DayTable &table)
{
    if (m_pending.empty())
        return {};
    return writePending(path, table);
}

SaveReport DayFile::writePending(const QString &path, const DayTable &table)
{
    SaveReport report;
    std::set<qint32> writable;
    for (qint32 slot : m_pending) {
        if (slot <= m_writableLimit)
            writable.insert(slot);
    }

    if (!writable.empty()) {
        const bool existed = QFileInfo::exists(path);
        const int fd = m_ops.open(path, O_RDWR | O_CREAT);
        if (fd < 0) {
            report.detail = systemError(QStringLiteral("Cannot open"), path);
        } else {
            std::set<qint32> written;
            QByteArray run;
            for (const auto &[first, last] : runsOf(writable)) {
                run.resize(qsizetype(last - first + 1) * recordimage::SlotLength);
                for (qint32 slot = first; slot <= last; ++slot) {
                    recordimage::encode(table.record(slot),
                                        std::span<char, recordimage::SlotLength>(
                                            run.data() + qsizetype(slot - first) * recordimage::SlotLength,
                                            recordimage::SlotLength));
                }
                const off_t at = off_t(first - 1) * recordimage::SlotLength;
                if (writeAll(m_ops, fd, run.constData(), size_t(run.size()), at)) {
                    for (qint32 slot = first; slot <= last; ++slot)
                        written.insert(slot);
                } else if (report.detail.isEmpty()) {
                    report.detail = systemError(QStringLiteral("Cannot write"), path);
                }
            }
            // Nothing counts as saved until the disk has it.
            const bool synced = m_ops.fsync(fd) == 0;
            if (!synced && report.detail.isEmpty())
                report.detail = systemError(QStringLiteral("Cannot sync"), path);
            if (m_ops.close(fd) != 0 && report.detail.isEmpty())
                report.detail = systemError(QStringLiteral("Cannot close"), path);
            if (synced) {
                if (!existed)
                    m_ops.syncDirectory(QFileInfo(path).absolutePath());
                for (qint32 slot : written)
                    m_pending.erase(slot);
            }
        }
    }

    if (!m_pending.empty()) {
        report.status = SaveReport::Status::NotOnDisk;
        report.unwritten = QList<qint32>(m_pending.begin(), m_pending.end());
        if (report.detail.isEmpty())
            report.detail = QStringLiteral("%1 was not read to its end, so it is not written").arg(path);
    }
    return report;
}
