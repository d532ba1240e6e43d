#pragma once

#include "fileops.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <map>
#include <memory>
#include <vector>

// A file system in memory that behaves like a page cache in front of a disk. Every write, size
// change and folder-entry change is held as unsynced until fsync (of that file) or
// syncDirectory (of the folder) makes it durable. powerCut() then keeps any combination of the
// unsynced changes, 512-byte sector by sector, and drops the rest; kill() ends the process but
// keeps the page cache, changes still unsynced.
//
// crashAfter stops the world after that many changing calls (open with O_CREAT, write, sync,
// truncate, remove, rename): every later call fails with EIO, as if the process had died there.
class PageCacheOps : public FileOps
{
public:
    static constexpr qint64 Sector = 512;

    enum class Loss { Nothing, Everything, Random };

    int crashAfter = -1; // -1: never
    int calls = 0;       // changing calls so far
    int fsyncs = 0, folderSyncs = 0, writes = 0;
    qint64 bytesWritten = 0;

    void resetCounters() { calls = fsyncs = folderSyncs = writes = 0, bytesWritten = 0; }
    bool crashed() const { return crashAfter >= 0 && calls > crashAfter; }

    // Places a file on the disk, durable, as a test's starting point.
    void put(const QString &path, const QByteArray &bytes)
    {
        auto node = std::make_shared<Inode>();
        node->durable = node->current = bytes;
        m_durable[path] = m_current[path] = node;
    }
    // Takes a file away for good, as if it had never been there.
    void forget(const QString &path)
    {
        m_durable.erase(path);
        m_current.erase(path);
    }
    bool exists(const QString &path) const { return m_current.count(path) > 0; }
    QByteArray bytes(const QString &path) const
    {
        const auto it = m_current.find(path);
        return it == m_current.end() ? QByteArray("<missing>") : it->second->current;
    }

    // The process ends: open files close, the page cache stays, unsynced.
    void kill()
    {
        m_fds.clear();
        crashAfter = -1;
        calls = 0;
    }

    // The machine loses power: of every change not yet synced, some reach the disk and some do not.
    void powerCut(Loss loss, QRandomGenerator &random)
    {
        const auto keep = [&] { return loss == Loss::Nothing || (loss == Loss::Random && random.bounded(2)); };
        std::map<QString, std::shared_ptr<Inode>> folder = m_durable;
        for (const FolderChange &change : m_unsyncedFolder) {
            if (!keep())
                continue;
            for (const auto &[name, node] : change) {
                if (node)
                    folder[name] = node;
                else
                    folder.erase(name);
            }
        }
        std::vector<std::shared_ptr<Inode>> nodes;
        for (const auto &[name, node] : m_current)
            nodes.push_back(node);
        for (const auto &[name, node] : m_durable)
            nodes.push_back(node);
        for (const auto &node : nodes) {
            QByteArray disk = node->durable;
            for (const Change &c : node->unsynced) {
                if (c.resize >= 0) {
                    if (keep())
                        disk.resize(qsizetype(c.resize), '\0');
                    continue;
                }
                for (qint64 at = c.offset; at < c.offset + c.bytes.size();) {
                    const qint64 end = std::min<qint64>((at / Sector + 1) * Sector, c.offset + c.bytes.size());
                    const int fate = loss == Loss::Random ? int(random.bounded(3)) : loss == Loss::Nothing ? 1 : 0;
                    if (fate == 2 && end > disk.size()) // the size reached the disk, the data did not
                        disk.resize(qsizetype(end), '\0');
                    if (fate == 1) {
                        if (end > disk.size())
                            disk.resize(qsizetype(end), '\0');
                        disk.replace(qsizetype(at), qsizetype(end - at), c.bytes.constData() + (at - c.offset),
                                     qsizetype(end - at));
                    }
                    at = end;
                }
            }
            node->durable = node->current = disk;
            node->unsynced.clear();
        }
        m_durable = m_current = folder;
        m_unsyncedFolder.clear();
        kill();
    }

    int open(const QString &path, int flags, int = 0644) override
    {
        if ((flags & O_CREAT) && !counted())
            return fail(EIO);
        if (crashed())
            return fail(EIO);
        auto it = m_current.find(path);
        if (it == m_current.end()) {
            if (!(flags & O_CREAT))
                return fail(ENOENT);
            auto node = std::make_shared<Inode>();
            it = m_current.emplace(path, node).first;
            m_unsyncedFolder.push_back({{path, node}});
        } else if ((flags & O_CREAT) && (flags & O_EXCL)) {
            return fail(EEXIST);
        }
        if (flags & O_TRUNC)
            resize(*it->second, 0);
        m_fds[m_nextFd] = {it->second, (flags & O_ACCMODE) != O_RDONLY};
        return m_nextFd++;
    }
    ssize_t pread(int fd, void *buffer, size_t count, off_t offset) override
    {
        const OpenFile *f = file(fd);
        if (!f)
            return -1;
        const QByteArray &b = f->node->current;
        const qint64 n = std::clamp<qint64>(b.size() - offset, 0, qint64(count));
        std::memcpy(buffer, b.constData() + (n > 0 ? offset : 0), size_t(n));
        return ssize_t(n);
    }
    ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset) override
    {
        const OpenFile *f = file(fd);
        if (!f || !counted())
            return f ? fail(EIO) : -1;
        if (!f->writable)
            return fail(EBADF);
        Inode &node = *f->node;
        const QByteArray bytes(static_cast<const char *>(buffer), qsizetype(count));
        if (node.current.size() < qint64(offset + count))
            node.current.resize(qsizetype(offset + count), '\0');
        node.current.replace(qsizetype(offset), bytes.size(), bytes);
        node.unsynced.push_back({offset, bytes, -1});
        ++writes;
        bytesWritten += qint64(count);
        return ssize_t(count);
    }
    int fsync(int fd) override
    {
        const OpenFile *f = file(fd);
        if (!f || !counted())
            return f ? fail(EIO) : -1;
        f->node->durable = f->node->current;
        f->node->unsynced.clear();
        ++fsyncs;
        return 0;
    }
    int ftruncate(int fd, off_t length) override
    {
        const OpenFile *f = file(fd);
        if (!f || !counted())
            return f ? fail(EIO) : -1;
        resize(*f->node, length);
        return 0;
    }
    int close(int fd) override { return m_fds.erase(fd) ? 0 : fail(EBADF); }
    off_t size(int fd) override
    {
        const OpenFile *f = file(fd);
        return f ? off_t(f->node->current.size()) : -1;
    }
    int fstat(int fd, struct stat *st) override
    {
        const OpenFile *f = file(fd);
        if (!f)
            return -1;
        *st = {};
        st->st_dev = 1;
        st->st_ino = ino_t(reinterpret_cast<quintptr>(f->node.get()));
        st->st_mode = S_IFREG | 0600;
        st->st_size = off_t(f->node->current.size());
        return 0;
    }
    int remove(const QString &path) override
    {
        if (!counted())
            return fail(EIO);
        if (!m_current.erase(path))
            return fail(ENOENT);
        m_unsyncedFolder.push_back({{path, nullptr}});
        return 0;
    }
    int renameNoReplace(const QString &from, const QString &to) override
    {
        if (!counted())
            return fail(EIO);
        const auto it = m_current.find(from);
        if (it == m_current.end())
            return fail(ENOENT);
        if (m_current.count(to))
            return fail(EEXIST);
        const auto node = it->second;
        m_current.erase(it);
        m_current[to] = node;
        m_unsyncedFolder.push_back({{from, nullptr}, {to, node}}); // one step, both names or neither
        return 0;
    }
    int syncDirectory(const QString &) override
    {
        if (!counted())
            return fail(EIO);
        m_durable = m_current;
        m_unsyncedFolder.clear();
        ++folderSyncs;
        return 0;
    }

private:
    struct Change
    {
        qint64 offset = 0;
        QByteArray bytes;
        qint64 resize = -1; // a size change instead of a write
    };
    struct Inode
    {
        QByteArray durable, current;
        std::vector<Change> unsynced;
    };
    struct OpenFile
    {
        std::shared_ptr<Inode> node;
        bool writable = false;
    };
    using FolderChange = std::vector<std::pair<QString, std::shared_ptr<Inode>>>;

    // One folder holds every file: names are whole paths.
    std::map<QString, std::shared_ptr<Inode>> m_durable, m_current;
    std::vector<FolderChange> m_unsyncedFolder;
    std::map<int, OpenFile> m_fds;
    int m_nextFd = 3;

    bool counted()
    {
        ++calls;
        return !crashed();
    }
    const OpenFile *file(int fd)
    {
        if (crashed()) {
            errno = EIO;
            return nullptr;
        }
        const auto it = m_fds.find(fd);
        if (it == m_fds.end()) {
            errno = EBADF;
            return nullptr;
        }
        return &it->second;
    }
    static void resize(Inode &node, qint64 length)
    {
        node.current.resize(qsizetype(length), '\0');
        node.unsynced.push_back({0, {}, length});
    }
    static int fail(int error)
    {
        errno = error;
        return -1;
    }
};
