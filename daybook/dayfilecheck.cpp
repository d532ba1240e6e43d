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
    m_changed = st.st_mtim;
}

void DayFileCheck::noteWriteTime(FileOps &ops, const QString &path)
{
    struct stat st;
    if (ops.stat(path, &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode)
        m_changed = st.st_mtim;
}

bool DayFileCheck::unchanged(FileOps &ops, const QString &path) const
{
    struct stat st;
    if (!m_known || ops.stat(path, &st) != 0)
        return !m_known; // nothing known to compare with, or nothing there: a save decides
    return st.st_dev == m_device && st.st_ino == m_inode && st.st_size == m_length
        && st.st_mtim.tv_sec == m_changed.tv_sec && st.st_mtim.tv_nsec == m_changed.tv_nsec;
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
