#pragma once

#include <QString>
#include <sys/types.h>

// The few file-system calls the day file makes, behind one seam so that tests can make any of
// them fail. The default forwards to the operating system; every call returns -1 with errno set
// on failure, as the system calls do.
class FileOps
{
public:
    virtual ~FileOps() = default;

    virtual int open(const QString &path, int flags, int mode = 0644);
    virtual ssize_t pread(int fd, void *buffer, size_t count, off_t offset);
    virtual ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset);
    virtual int fsync(int fd);
    virtual int ftruncate(int fd, off_t length);
    virtual int close(int fd);
    virtual off_t size(int fd);
    virtual int remove(const QString &path);
    // Renames from to to, failing with EEXIST when to exists.
    virtual int renameNoReplace(const QString &from, const QString &to);
    virtual int syncDirectory(const QString &directory);

    // The process-wide real file system.
    static FileOps &system();
};

// Writes all of buffer at offset, going on after short writes; false on the first error.
bool writeAll(FileOps &ops, int fd, const char *buffer, size_t count, off_t offset);
// Reads up to count bytes at offset, going on after short reads; the bytes read, or -1.
ssize_t readAll(FileOps &ops, int fd, char *buffer, size_t count, off_t offset);
