#pragma once

#include <optional>

class DayFile;
class QString;

// Takes the day file's lock and loads it for a command that writes it (import, sync). The
// command's exit status, said on standard error as "nothing <done>: ...", when it cannot: the
// running program holds the lock (its saves would overwrite ours), no lock works here, or the
// file cannot be read or written. command and done name the command ("import", "imported").
[[nodiscard]] std::optional<int> openForWriting(DayFile &dayFile, const QString &command, const QString &done);
