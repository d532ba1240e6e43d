#pragma once

#include "fileops.h"

#include <cerrno>

// A file system whose n-th call fails, once or from then on. Each call counts once: opening,
// writing, syncing a file or a folder, truncating and removing.
class FaultyOps : public FileOps
{
public:
    enum class Fault {
        Error,      // the call fails with EIO
        ShortWrite, // a write stores half its bytes; any other call fails with EIO
    };

    int failAt = 0; // 1-based; 0 fails nothing
    bool persistent = false;
    Fault fault = Fault::Error;
    int calls = 0;

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
        return FileOps::open(path, flags, mode);
    }
    ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset) override
    {
        if (failing()) {
            if (fault == Fault::ShortWrite && count > 1)
                return FileOps::pwrite(fd, buffer, count / 2, offset);
            return fail();
        }
        return FileOps::pwrite(fd, buffer, count, offset);
    }
    int fsync(int fd) override { return failing() ? fail() : FileOps::fsync(fd); }
    int ftruncate(int fd, off_t length) override { return failing() ? fail() : FileOps::ftruncate(fd, length); }
    int remove(const QString &path) override { return failing() ? fail() : FileOps::remove(path); }
    int syncDirectory(const QString &directory) override
    {
        if (failing())
            return fail();
        return FileOps::system().syncDirectory(directory); // its own open and sync are this one call
    }

private:
    bool failing()
    {
        ++calls;
        return failAt > 0 && (calls == failAt || (persistent && calls > failAt));
    }
    static int fail()
    {
        errno = EIO;
        return -1;
    }
};
