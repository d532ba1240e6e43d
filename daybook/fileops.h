#pragma once

#include "ioresult.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/stat.h>
#include <sys/types.h>

// Every file-system call of the day book, behind one seam so that tests can make any of them
// fail or model a disk. This class is the real file system: each program makes one in its main
// and passes it down; tests pass their own. Every call returns -1 with errno set on failure, as
// the system calls do.
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
    virtual int fchmod(int fd, mode_t mode);
    // stat and lstat of a name.
    virtual int stat(const QString &path, struct stat *st);
    virtual int lstat(const QString &path, struct stat *st);
    virtual int access(const QString &path, int mode);
    // The absolute path with every link and "." or ".." resolved, as realpath does; empty when
    // it leads nowhere (errno says why).
    virtual QString realPath(const QString &path);
    // Makes the folder and the folders above it that are missing.
    virtual int makePath(const QString &path);
    virtual int remove(const QString &path);
    // Renames from to to, failing with EEXIST when to exists.
    virtual int renameNoReplace(const QString &from, const QString &to);
    virtual int syncDirectory(const QString &directory);
    // The kinds of exclusive lock on a whole open file, in the order they are tried.
    enum class LockKind {
        Flock,               // the system's own lock, held by the open file
        OpenFileDescription, // a record lock held by the open file, as flock is
        Process,             // a classic record lock, held by the process
    };
    // One kind of lock, without waiting: 0, or -1 with errno (EWOULDBLOCK or EAGAIN when another
    // holds it; ENOLCK, ENOSYS, EOPNOTSUPP, EINVAL when the file system has no such lock).
    virtual int tryLock(int fd, LockKind kind);

    // Takes the exclusive lock on an open file without waiting, for as long as the file stays
    // open: the first kind of lock that works here. EWOULDBLOCK when another holds it; ENOLCK
    // when no kind of lock works.
    int lockExclusive(int fd);
};

// Opens an existing file for reading and writing, or read-only where it may not be written
// (readOnly is then set), following a link the user made; a missing file is created, but never
// through a dangling link (that fails with ELOOP).
int openOrCreate(FileOps &ops, const QString &path, bool *readOnly = nullptr);

// Where a regular file at path really lies: every link followed (FileOps::realPath). Anything
// else (nothing there yet, a dangling link, a device) is taken as it stands, so that nothing is
// ever made beside a device.
QString realLocation(FileOps &ops, const QString &path);

// Writes all of buffer at offset, going on after short writes; false on the first error.
bool writeAll(FileOps &ops, int fd, const char *buffer, size_t count, off_t offset);
// Reads up to count bytes at offset, going on after short reads; the bytes read, or -1.
ssize_t readAll(FileOps &ops, int fd, char *buffer, size_t count, off_t offset);
// The whole file at path, or nothing when there is none or it cannot be read whole. With
// syncFirst, the bytes are those on the disk: a write killed before its sync left them in memory
// only, and a file that cannot be synced is not read.
std::optional<QByteArray> readWholeFile(FileOps &ops, const QString &path, bool syncFirst = false);
