#pragma once

#include <QString>
#include <sys/stat.h>
#include <sys/types.h>

// The few file-system calls the day file makes, behind one seam so that tests can make any of
// them fail. The default forwards to the operating system; every call returns -1 with errno set
// on failure, as the system calls do.
class FileOps
{
public:
    virtual ~FileOps() = default;

    // Opens a regular file (a folder with O_DIRECTORY) and nothing else: a FIFO or a device
    // fails with ENXIO instead of blocking or being written through. With O_CREAT the last
    // name is never followed as a symlink, so a link cannot make the program create a file
    // elsewhere. New files are private to their owner.
    virtual int open(const QString &path, int flags, int mode = 0600);
    virtual ssize_t pread(int fd, void *buffer, size_t count, off_t offset);
    virtual ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset);
    virtual int fsync(int fd);
    virtual int ftruncate(int fd, off_t length);
    virtual int close(int fd);
    virtual off_t size(int fd);
    virtual int fstat(int fd, struct stat *st);
    virtual int remove(const QString &path);
    // Renames from to to, failing with EEXIST when to exists.
    virtual int renameNoReplace(const QString &from, const QString &to);
    virtual int syncDirectory(const QString &directory);

    // The process-wide real file system.
    static FileOps &system();
};

// Opens an existing file for reading and writing, or read-only where it may not be written
// (readOnly is then set), following a link the user made; a missing file is created, but never
// through a dangling link (that fails with ELOOP).
int openOrCreate(FileOps &ops, const QString &path, bool *readOnly = nullptr);

// The system's words for errno, with the two failures of open() above said plainly.
QString errorText(int error);

// Writes all of buffer at offset, going on after short writes; false on the first error.
bool writeAll(FileOps &ops, int fd, const char *buffer, size_t count, off_t offset);
// Reads up to count bytes at offset, going on after short reads; the bytes read, or -1.
ssize_t readAll(FileOps &ops, int fd, char *buffer, size_t count, off_t offset);
