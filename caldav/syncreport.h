#pragma once

#include "syncplanner.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <vector>

// What a sync did, for the user.
struct SyncReport
{
    enum class Status {
        InStep,        // both sides hold the same things
        Conflicts,     // both sides as they were where they conflict (see conflicts, left)
        ServerFailed,  // the server could not be reached, refused or answered wrongly (see failure)
        LocalFailed,   // the day file could not be written (see failure)
        StateFailed,   // the state file could not be read or written (see failure)
        Setup,         // the address cannot be used as it is: the user has to change it (see failure)
    };
    Status status = Status::InStep;
    QString failure;
    // Setup: the server led to this address on another origin, where the password may not go and
    // nothing was sent. The window asks whether to trust DavClient::originOf(it); the tool wants
    // it given as --url.
    QUrl otherServer;

    QUrl collection;
    int received = 0;     // things changed here from the server
    int emptiedHere = 0;  // of those, things emptied because their to-do was deleted
    int sent = 0;         // to-dos made or changed on the server
    int deletedThere = 0; // to-dos deleted on the server
    std::vector<syncplanner::Conflict> conflicts;
    std::vector<syncplanner::LeftOnServer> left; // listed once each
    QStringList notes;
    int requests = 0;

    bool ok() const { return status == Status::InStep; }
};
