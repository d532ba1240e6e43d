#include "dayfilecheck.h"

#include "dayrecord.h"
#include "daytable.h"
#include "fileops.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

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
                                                const std::set<qint32> &slotNumbers, bool unfinishedSave) const
{
    if (!m_known)
        return Verdict::Unknown;
    const int fd = ops.open(path, O_RDONLY);
    if (fd < 0)
        return errno == ENOENT ? Verdict::Deleted : Verdict::Unknown; // the writer cannot open it either and says why

    const auto verdict = [&]() {
        struct stat st;
        if (ops.fstat(fd, &st) != 0)
            return Verdict::Unknown;
        if (st.st_dev != m_device || st.st_ino != m_inode)
            return Verdict::OtherFile;
        if (unfinishedSave)
            return Verdict::Same;
        if (st.st_size != m_length && st.st_size != m_lengthIfWritten)
            return Verdict::OtherLength;
        // Where the save overwrites, the slots must still hold the same things of the same days.
        char image[recordimage::ImageLength];
        for (qint32 slot : slotNumbers) {
            const off_t at = off_t(slot - 1) * recordimage::SlotLength;
            if (qint64(at) + recordimage::ImageLength > m_length)
                break; // appended: nothing there yet
            if (readAll(ops, fd, image, sizeof image, at) != recordimage::ImageLength)
                return Verdict::Unknown;
            const recordimage::RecordView onDisk = recordimage::view(std::span<const char, recordimage::ImageLength>(image));
            const double day = table.thingDate(slot);
            if (onDisk.ThingNo != table.thingNo(slot) || std::memcmp(&onDisk.ThingDate, &day, sizeof day) != 0)
                return Verdict::OtherDays;
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
