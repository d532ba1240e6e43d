#pragma once

#include "syncstate.h"

#include <QString>
#include <variant>

// The state earlier versions kept beside the day file ("things.dat.caldav", a CBOR map of format
// 1). It is taken over once into this computer's own store and then left as it is: a file that
// lay beside the day file may have come with it from another computer, so nothing in it is
// trusted to describe this day file (its day file stamp stays empty).
namespace legacystatefile {

QString pathFor(const QString &dayFilePath);
std::variant<SyncState, QString> fromBytes(const QByteArray &bytes);
// The state in the file at path, or what is wrong with it.
std::variant<SyncState, QString> read(const QString &path);

} // namespace legacystatefile
