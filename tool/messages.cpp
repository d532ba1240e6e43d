#include "messages.h"

#include <cstdio>

void note(const QString &message)
{
    std::fprintf(stderr, "tallyleaf-tool: %s\n", qPrintable(message));
}

int fail(int status, const QString &message)
{
    note(message);
    return status;
}

void noteRecovery(const QString &dayFilePath, rollbackjournal::Outcome outcome, const QString &keptAside, bool preview)
{
    switch (outcome) {
    case rollbackjournal::Outcome::RolledBack:
        note(preview ? QStringLiteral("%1: a save that did not finish is read as undone; the next start of Tallyleaf "
                                      "undoes it in the file")
                           .arg(dayFilePath)
                     : QStringLiteral("%1: a save that did not finish was undone; every day is as it was before it")
                           .arg(dayFilePath));
        break;
    case rollbackjournal::Outcome::SetAside:
        note(keptAside.isEmpty()
                 ? QStringLiteral("%1: the journal beside it was written for another day file (a restored or copied "
                                  "file?) and is not applied")
                       .arg(dayFilePath)
                 : QStringLiteral("%1: the journal beside it was written for another day file (a restored or copied "
                                  "file?); it was not applied and is kept as %2")
                       .arg(dayFilePath, keptAside));
        break;
    case rollbackjournal::Outcome::RollbackPending:
        note(QStringLiteral("%1: a save that did not finish cannot be undone yet; it is read as undone").arg(dayFilePath));
        break;
    case rollbackjournal::Outcome::NoJournal:
    case rollbackjournal::Outcome::Discarded:
    case rollbackjournal::Outcome::Unreadable:
        break; // nothing was changed; an unreadable journal fails the read and says so
    }
}
