#pragma once

#include <QString>
#include <cerrno>

// What one step on the file system came to: done, or which step failed on which file and the
// system's error. Windows say it in the user's language; the tool and logs use describe().
struct [[nodiscard]] IoResult
{
    enum class Step {
        None,       // nothing failed
        Open,
        Create,
        Read,
        Write,
        Sync,
        SyncFolder,
        Measure,
        Undo,       // putting back the bytes of a save that did not finish
        SetAside,   // renaming a journal that belongs to another file
        Lock,
    };

    Step step = Step::None;
    QString path;
    int error = 0; // errno

    static IoResult done() { return {}; }
    // The step failed on path with the current errno.
    static IoResult failed(Step step, const QString &path, int error = errno) { return {step, path, error}; }

    bool ok() const { return step == Step::None; }
    // "Cannot open /x/things.dat: Permission denied".
    QString describe() const;
};

// The system's words for errno, with the two failures of FileOps::open said plainly.
QString errorText(int error);
