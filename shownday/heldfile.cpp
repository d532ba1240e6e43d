#include "heldfile.h"

#include "fileops.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <cerrno>
#include <fcntl.h>

namespace heldfile {

namespace {

const QByteArray Magic = QByteArrayLiteral("tallyleaf-held 1 ");

QByteArray digest(const QByteArray &body)
{
    return QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
}

QJsonValue toJson(const std::optional<ThingInput> &thing)
{
    if (!thing)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("text"), thing->text}, {QStringLiteral("done"), thing->done}};
}

std::optional<ThingInput> thingFrom(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    return ThingInput{o.value(QStringLiteral("text")).toString(), o.value(QStringLiteral("done")).toBool()};
}

bool exists(FileOps &ops, const QString &path)
{
    const int fd = ops.open(path, O_RDONLY);
    if (fd >= 0)
        ops.close(fd);
    return fd >= 0;
}

bool removed(FileOps &ops, const QString &path)
{
    return ops.remove(path) == 0 || errno == ENOENT;
}

QString newPath(const QString &path) { return path + QStringLiteral(".new"); }
QString folderOf(const QString &path) { return QFileInfo(path).absolutePath(); }

} // namespace

QString thisComputer()
{
    QByteArray id = QSysInfo::machineUniqueId();
    if (id.isEmpty())
        id = QSysInfo::machineHostName().toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash("tallyleaf held things " + id, QCryptographicHash::Sha256)
                                   .toHex()
                                   .left(12));
}

QString pathFor(const QString &dayFileRealPath, const QString &computer)
{
    return dayFileRealPath + QStringLiteral(".held-") + computer;
}

QByteArray encode(const Set &set)
{
    QJsonArray things;
    for (const thingdecision::Conflict &c : set.held) {
        things.append(QJsonObject{{QStringLiteral("day"), c.key.day.toString(Qt::ISODate)},
                                  {QStringLiteral("number"), c.key.number},
                                  {QStringLiteral("base"), toJson(c.base)},
                                  {QStringLiteral("mine"), toJson(c.mine)},
                                  {QStringLiteral("theirs"), toJson(c.theirs)},
                                  {QStringLiteral("theirVersion"), QString::fromLatin1(c.theirVersion)}});
    }
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("sequence"), QString::number(set.sequence)},
                                                      {QStringLiteral("things"), things}})
                                .toJson(QJsonDocument::Indented);
    return Magic + digest(body) + '\n' + body;
}

std::optional<Set> decode(const QByteArray &bytes)
{
    const qsizetype lineEnd = bytes.indexOf('\n');
    if (!bytes.startsWith(Magic) || lineEnd < 0)
        return std::nullopt;
    const QByteArray body = bytes.mid(lineEnd + 1);
    if (bytes.mid(Magic.size(), lineEnd - Magic.size()) != digest(body))
        return std::nullopt; // cut short or damaged: not a set
    const QJsonObject root = QJsonDocument::fromJson(body).object();
    Set set;
    bool numbered = false;
    set.sequence = root.value(QStringLiteral("sequence")).toString().toULongLong(&numbered);
    if (!numbered)
        return std::nullopt;
    for (const QJsonValue &value : root.value(QStringLiteral("things")).toArray()) {
        const QJsonObject o = value.toObject();
        const QDate day = QDate::fromString(o.value(QStringLiteral("day")).toString(), Qt::ISODate);
        const int number = o.value(QStringLiteral("number")).toInt();
        const std::optional<ThingInput> mine = thingFrom(o.value(QStringLiteral("mine")));
        if (!day.isValid() || number < 1 || number > 5 || !mine)
            return std::nullopt;
        set.held.push_back({{day, number},
                            thingFrom(o.value(QStringLiteral("base"))),
                            *mine,
                            thingFrom(o.value(QStringLiteral("theirs"))),
                            o.value(QStringLiteral("theirVersion")).toString().toLatin1()});
    }
    return set;
}

Set read(FileOps &ops, const QString &path)
{
    const QString fresh = newPath(path);
    // What is read here is on the disk first: a power cut cannot bring back what it passes over.
    [[maybe_unused]] const int synced = ops.syncDirectory(folderOf(path)); // else as the last writer left it
    const auto setAt = [&](const QString &at) {
        const std::optional<QByteArray> bytes = readWholeFile(ops, at, true); // as on the disk
        return bytes ? decode(*bytes) : std::nullopt;
    };
    const std::optional<Set> kept = setAt(path);
    const std::optional<Set> written = setAt(fresh);
    if (written && (!kept || written->sequence > kept->sequence)) {
        // A replacement stopped after its new set was whole: finished now. Should that fail, the
        // set is still held in memory and written again with the next change.
        if (removed(ops, path) && ops.renameNoReplace(fresh, path) == 0) {
            [[maybe_unused]] const int finished = ops.syncDirectory(folderOf(path));
        }
        return *written;
    }
    [[maybe_unused]] const bool cleared = removed(ops, fresh); // older, or never whole
    return kept.value_or(Set{});
}

IoResult write(FileOps &ops, const QString &path, const Set &set)
{
    const QString fresh = newPath(path);
    const QString folder = folderOf(path);
    if (set.held.empty()) {
        if (!removed(ops, path))
            return IoResult::failed(IoResult::Step::Write, path);
        if (!removed(ops, fresh))
            return IoResult::failed(IoResult::Step::Write, fresh);
        return ops.syncDirectory(folder) == 0 ? IoResult::done() : IoResult::failed(IoResult::Step::SyncFolder, folder);
    }
    // A replacement stopped between its two renames left the newest set under the new name only:
    // it takes the old name back before that name is cleared for this set.
    if (!exists(ops, path) && exists(ops, fresh)) {
        [[maybe_unused]] const int renamed = ops.renameNoReplace(fresh, path); // else cleared below
    }
    if (!removed(ops, fresh))
        return IoResult::failed(IoResult::Step::Create, fresh);
    const int fd = ops.open(fresh, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0)
        return IoResult::failed(IoResult::Step::Create, fresh);
    const QByteArray bytes = encode(set);
    IoResult result = IoResult::done();
    if (!writeAll(ops, fd, bytes.constData(), size_t(bytes.size()), 0))
        result = IoResult::failed(IoResult::Step::Write, fresh);
    else if (ops.fsync(fd) != 0)
        result = IoResult::failed(IoResult::Step::Sync, fresh);
    ops.close(fd);
    // The new set's name reaches the disk before the old set's goes.
    if (result.ok() && ops.syncDirectory(folder) != 0)
        result = IoResult::failed(IoResult::Step::SyncFolder, folder);
    if (!result.ok()) {
        [[maybe_unused]] const bool cleared = removed(ops, fresh); // the old set stays the newest whole one
        return result;
    }
    if (!removed(ops, path) || ops.renameNoReplace(fresh, path) != 0)
        return IoResult::failed(IoResult::Step::Write, path); // the new set is whole under the other name
    // Before the next write reuses the new name, or the old set under it could come back over it.
    return ops.syncDirectory(folder) == 0 ? IoResult::done() : IoResult::failed(IoResult::Step::SyncFolder, folder);
}

} // namespace heldfile
