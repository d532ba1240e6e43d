#include "dayfilestamp.h"

#include "fileops.h"

#include <QFileInfo>

bool DayFileStamp::stillDescribes(const DayFileStamp &now) const
{
    return exists() && now.exists() && path == now.path && device == now.device && inode == now.inode
        && now.length >= length && now.changedNs >= changedNs;
}

DayFileStamp stampOf(FileOps &ops, const QString &path)
{
    DayFileStamp stamp;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    stamp.path = canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
    struct stat st {};
    if (ops.stat(path, &st) != 0)
        return stamp;
    stamp.device = quint64(st.st_dev);
    stamp.inode = quint64(st.st_ino);
    stamp.length = qint64(st.st_size);
    stamp.changedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return stamp;
}
