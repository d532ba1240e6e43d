#pragma once

#include "fileops.h"

#include <QString>
#include <cerrno>
#include <fcntl.h>
#include <set>

// The one file system that fails on purpose in tests, each way a disk or the kernel can:
// - the n-th call (failAt) fails, once or from then on (persistent). Each call counts once:
//   opening, writing, syncing a file or a folder, truncating, removing and renaming; reads do not count;
// - the n-th read fails (failReadAt), or the next few writes (failWrites);
// - files cannot be opened for writing (readOnly), as a read-only file or mount refuses them.
// Failing calls return -1 with errno set to error, as the system calls do.
class FaultyOps : public FileOps
{
public:
    enum class Fault {
        Error,      // the call fails
        ShortWrite, // a write stores half its bytes; any other call fails
    };

    int failAt = 0; // 1-based; 0 fails nothing
    bool persistent = false;
    Fault fault = Fault::Error;
    int error = EIO;
    int calls = 0;

    int failReadAt = 0; // 1-based count of reads; 0 fails none
    int reads = 0;
    int failWrites = 0; // this many writes fail, then writes work again

    bool readOnly = false;
    QString readOnlySuffix; // with readOnly: only paths ending so are refused; empty: every path

    // The kinds of lock this file system lacks: trying one fails with lockError.
    std::set<LockKind> missingLocks;
    int lockError = ENOLCK;

    void reset(int n)
    {
        failAt = n;
        calls = 0;
    }
    bool triggered() const { return failAt > 0 && calls >= failAt; }

    int open(const QString &path, int flags, int mode) override
    {
        if (failing())
            return fail();
        if (readOnly && (flags & O_ACCMODE) != O_RDONLY && path.endsWith(readOnlySuffix)) {
            errno = EACCES;
            return -1;
        }
        return FileOps::open(path, flags, mode);
    }
    ssize_t pread(int fd, void *buffer, size_t count, off_t offset) override
    {
        if (++reads == failReadAt)
            return fail();
        return FileOps::pread(fd, buffer, count, offset);
    }
    ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset) override
    {
        if (failing()) {
            if (fault == Fault::ShortWrite && count > 1)
                return FileOps::pwrite(fd, buffer, count / 2, offset);
            return fail();
        }
        if (failWrites > 0) {
            --failWrites;
            return fail();
        }
        return FileOps::pwrite(fd, buffer, count, offset);
    }
    int fsync(int fd) override { return failing() ? fail() : FileOps::fsync(fd); }
    int ftruncate(int fd, off_t length) override { return failing() ? fail() : FileOps::ftruncate(fd, length); }
    int remove(const QString &path) override { return failing() ? fail() : FileOps::remove(path); }
    int renameNoReplace(const QString &from, const QString &to) override
    {
        return failing() ? fail() : FileOps::renameNoReplace(from, to);
    }
    int syncDirectory(const QString &directory) override
    {
        if (failing())
            return fail();
        return FileOps::syncDirectory(directory); // its own open and sync are this one call
    }

    int tryLock(int fd, LockKind kind) override
    {
        if (missingLocks.count(kind) == 0)
            return FileOps::tryLock(fd, kind);
        errno = lockError;
        return -1;
    }

private:
    bool failing()
    {
        ++calls;
        return failAt > 0 && (calls == failAt || (persistent && calls > failAt));
    }
    int fail() const
    {
        errno = error;
        return -1;
    }
};
