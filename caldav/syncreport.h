#pragma once

#include "syncplanner.h"
#include "syncproblem.h"

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
        TooManyDeletions, // nothing done: the plan deletes more at once than the user agreed to (see deletions)
    };
    Status status = Status::InStep;
    QString failure;     // in English, for the tool
    SyncProblem problem; // the same as data, for the window's words
    // Setup: the server led to this address on another origin, where the password may not go and
    // nothing was sent. The window asks whether to trust DavClient::originOf(it); the tool wants
    // it given as --url.
    QUrl otherServer;

    QUrl collection;
    int received = 0;     // things changed here from the server
    int emptiedHere = 0;  // of those, things emptied because their to-do was deleted
    int sent = 0;         // to-dos made or changed on the server
    int deletedThere = 0; // to-dos deleted on the server
    int deletions = 0;    // with TooManyDeletions: to-dos it would delete and things it would empty
    std::vector<thingdecision::Conflict> conflicts;
    std::vector<syncplanner::LeftOnServer> left; // told once for each version of each
    int unshowable = 0;   // linked to-dos whose version on the server no thing can show
    int leftOnServer = 0; // to-dos on the server that no thing shows, told before or not
    QStringList notes;
    int requests = 0;

    bool ok() const { return status == Status::InStep; }
};
