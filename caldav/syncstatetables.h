#pragma once

#include "syncstate.h"

#include <QSqlDatabase>
#include <QString>
#include <optional>
#include <variant>

class QSqlError;

// The sync's state as rows of three tables: the account (one row), a row for each linked to-do
// and one for each to-do set aside. Version Format of the layout; another is not read.
namespace syncstatetables {

inline constexpr int Format = 2;

inline const char *const Schema[] = {
    "CREATE TABLE IF NOT EXISTS account (id INTEGER PRIMARY KEY CHECK (id = 1), format INTEGER NOT NULL,"
    " day_file TEXT, day_device INTEGER, day_inode INTEGER, day_length INTEGER, day_changed INTEGER,"
    " url TEXT, user TEXT, collection TEXT, sync_collection INTEGER, sync_token TEXT, trusted_origins TEXT,"
    " refused_origins TEXT, since_days INTEGER, first_day INTEGER)",
    "CREATE TABLE IF NOT EXISTS linked (href TEXT PRIMARY KEY, uid TEXT NOT NULL, etag BLOB, day INTEGER NOT NULL,"
    " number INTEGER NOT NULL, base_text TEXT, base_done INTEGER, body BLOB, refetch INTEGER NOT NULL,"
    " learnt_after_token INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS set_aside (href TEXT PRIMARY KEY, etag BLOB, why TEXT, outside_range INTEGER)",
};

// The state in db (without links: the account alone), or what is wrong, naming path.
std::variant<SyncState, QString> read(QSqlDatabase &db, bool links, const QString &path);
// Writes what changed of state into db, inside the caller's transaction; the error, if any.
std::optional<QSqlError> write(QSqlDatabase &db, const SyncState &state, const SyncStateChange &change);

} // namespace syncstatetables
