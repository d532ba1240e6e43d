#include "dayfilecheck.h"

#include "dayfile.h"
#include "fileops.h"
#include "rollbackjournal.h"

#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>

namespace {

bool readImage(FileOps &ops, int fd, qint32 slot, char *image)
{
    const off_t at = off_t(slot - 1) * recordimage::SlotLength;
    return readAll(ops, fd, image, size_t(recordimage::ImageLength), at) == recordimage::ImageLength;
}

} // namespace

void DayFileCheck::loaded(FileOps &ops, int fd, qint64 length)
{
    struct stat st;
    m_known = ops.fstat(fd, &st) == 0;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_length = length;
    m_lengthIfWritten = -1;
}

DayFileCheck::Verdict DayFileCheck::beforeWrite(FileOps &ops, const QString &path, const DayTable &table,
                                                const std::set<qint32> &slotNumbers, bool unfinishedSave,
                                                QString *detail)
{
    if (!m_known)
        return Verdict::Unknown;
    const int fd = ops.open(path, O_RDONLY);
    if (fd < 0) {
        if (errno != ENOENT)
            return Verdict::Unknown;
        // A journal of the file that is gone could only spoil the new one.
        ops.remove(rollbackjournal::pathFor(path));
        const int made = ops.open(path, O_RDWR | O_CREAT | O_EXCL);
        if (made < 0)
            return Verdict::Unknown; // the writer cannot open it either and says why
        loaded(ops, made, 0);
        ops.close(made);
        return Verdict::Deleted;
    }

    const auto verdict = [&]() {
        struct stat st;
        if (ops.fstat(fd, &st) != 0)
            return Verdict::Unknown;
        if (st.st_dev != m_device || st.st_ino != m_inode) {
            *detail = QStringLiteral("%1 was replaced by another file").arg(path);
            return Verdict::Replaced;
        }
        if (unfinishedSave)
            return Verdict::Same;
        if (st.st_size != m_length && st.st_size != m_lengthIfWritten) {
            *detail = QStringLiteral("%1 was changed by another program: it has %2 bytes, not %3")
                          .arg(path)
                          .arg(qint64(st.st_size))
                          .arg(m_length);
            return Verdict::Replaced;
        }
        // Where the save overwrites, the slots must still hold the same things of the same days.
        char image[recordimage::ImageLength];
        for (qint32 slot : slotNumbers) {
            if (qint64(slot - 1) * recordimage::SlotLength + recordimage::ImageLength > m_length)
                break; // appended: nothing there yet
            if (!readImage(ops, fd, slot, image))
                return Verdict::Unknown;
            const recordimage::RecordView onDisk = recordimage::view(std::span<const char, recordimage::ImageLength>(image));
            const double day = table.thingDate(slot);
            if (onDisk.ThingNo != table.thingNo(slot) || std::memcmp(&onDisk.ThingDate, &day, sizeof day) != 0) {
                *detail = QStringLiteral("%1 was changed by another program: record %2 holds another day")
                              .arg(path)
                              .arg(slot);
                return Verdict::Replaced;
            }
        }
        return Verdict::Same;
    }();
    ops.close(fd);
    return verdict;
}

void DayFileCheck::afterWrite(const std::set<qint32> &slotNumbers, bool written)
{
    const qint64 end =
        slotNumbers.empty() ? m_length : std::max(m_length, qint64(*slotNumbers.rbegin()) * recordimage::SlotLength);
    if (written)
        m_length = end;
    m_lengthIfWritten = written ? -1 : end;
}

bool DayFile::checkFileOnDisk(const QString &path, const DayTable &table, SaveReport &report)
{
    std::set<qint32> writable;
    for (qint32 slot : m_pending) {
        if (slot <= m_writableLimit)
            writable.insert(slot);
    }
    switch (m_check.beforeWrite(m_ops, path, table, writable, !m_settled, &report.detail)) {
    case DayFileCheck::Verdict::Same:
    case DayFileCheck::Verdict::Unknown:
        return true;
    case DayFileCheck::Verdict::Deleted:
        // Everything the table holds goes back, as a whole file without blank slots.
        m_writableLimit = std::numeric_limits<qint32>::max();
        for (qint32 slot = 1; slot <= table.DayCount(); ++slot)
            m_pending.insert(slot);
        report.remade = true;
        return true;
    case DayFileCheck::Verdict::Replaced:
        report.status = SaveReport::Status::Replaced;
        report.unwritten = QList<qint32>(m_pending.begin(), m_pending.end());
        return false;
    }
    return true;
}

SaveReport DayFile::adoptFileOnDisk(const QString &path, DayTable &table, LoadReport *loadReport)
{
    std::vector<DayRecord> held;
    held.reserve(m_pending.size());
    for (qint32 slot : m_pending)
        held.push_back(table.record(slot));
    const LoadReport loadedNow = load(path, table);
    if (loadReport)
        *loadReport = loadedNow;

    qsizetype dropped = 0;
    for (const DayRecord &record : held) {
        const std::optional<qint32> index = table.findOrAppend(record.ThingDate, record.ThingNo);
        if (!index) {
            ++dropped;
            continue;
        }
        table.setThing(*index, record.ThingText, record.isDone());
        m_pending.insert(*index);
    }
    SaveReport report = writePending(path, table);
    if (dropped > 0) {
        report.status = SaveReport::Status::TableFull;
        report.detail = QStringLiteral("The day book is full (%1 records); %2 things were not kept")
                            .arg(DayTable::DayCapacity)
                            .arg(dropped);
    }
    return report;
}
