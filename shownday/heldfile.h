#pragma once

#include "ioresult.h"
#include "thingdecision.h"

#include <QString>
#include <vector>

class FileOps;

// The things held between two versions, kept in a small file beside the day file, so that this
// computer's version of each survives a kill or a power cut until the user chooses.
//
// The file is this computer's own: its name carries a tag of the computer
// ("things.dat.held-3f9a0c1d2e4b"), since a folder a sync tool shares carries it to the other
// computers, where it must neither be taken for theirs nor be overwritten by theirs.
//
// Replacing it never leaves a reader without a whole set: the new set is written into
// "<name>.new", synced with its folder entry, and only then renamed over the old one (the old one
// removed first: renaming never replaces here). Each set carries a sequence number and a
// checksum, so a reader after a crash anywhere takes the newest whole set of the two names.
namespace heldfile {

// This computer's tag: a digest of its machine id (the id itself is not to be shown to others).
QString thisComputer();

// The held file of the day file at dayFileRealPath on computer.
QString pathFor(const QString &dayFileRealPath, const QString &computer = thisComputer());

struct Set
{
    quint64 sequence = 0; // 0: no set was found
    std::vector<thingdecision::Conflict> held;
};

// The file's bytes, and back; nothing when they are not one whole set.
QByteArray encode(const Set &set);
std::optional<Set> decode(const QByteArray &bytes);

// The newest whole set at path, an empty one when there is none. A replacement cut short is
// finished or cleared away first, so that the next write cannot remove the newest set.
Set read(FileOps &ops, const QString &path);

// Replaces the set at path with held, numbered sequence; an empty held removes the file.
[[nodiscard]] IoResult write(FileOps &ops, const QString &path, const Set &set);

} // namespace heldfile
