#pragma once

#include "thingkey.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// Why a sync, a request or a step of one did not succeed, as what happened and its data, so that
// each side puts it in its own words: the tool in English (SyncReport::failure), the window in
// Chinese. The system's own words (a network error's, a database's, a parser's) are kept apart
// in systemWords, for the details of whoever looks them up.
struct SyncProblem
{
    enum class Kind {
        None,
        Stopped, // the sync was stopped (a new account, the window closing)
        // The address, before anything is sent to it (url).
        NotAnAddress,
        NameInAddress,
        NotHttp,
        PlainHttp, // the password would travel unencrypted to url's host
        // A request to url, and how it ended.
        NoAnswer,     // no connection, or the connection failed: networkError
        TimedOut,     // nothing came for count milliseconds
        TooLarge,     // the answer was longer than count bytes
        Certificate,  // the server's certificate is not trusted
        LoginRefused, // 401
        Status,       // the server answered status
        Moved,        // url moved to other
        OtherServer,  // url led to other, on another server, where the password may not go
        UnreadableAnswer,
        CutShort, // the server cut a list short, with no way to the rest
        // Finding the calendar at url.
        NotForTodos,      // a calendar that takes no to-dos
        NoCalendar,       // no calendar, and it names none of the user's
        NoCalendarHome,   // the principal names no calendar home
        SeveralCalendars, // names: the calendars for to-dos at url, none named "tallyleaf"
        // The sync itself.
        ServerKeptChanging, // count to-dos kept changing on the server while they were synced
        BookKeptChanging,   // the day book kept changing while the sync decided
        TooManyDeletions,   // count deletions at once, more than the user agreed to
        BookNotWhole,       // the day book was not read whole, or cannot be written
        DayFileNotWritten,  // detail: the day book's own words
        StateUnusable,      // the sync's state cannot be read or written
    };
    // What the sync was doing when a request failed.
    enum class Step {
        None,
        ReadCollection,
        ReadPrincipal,
        ListCalendars,
        MakeCalendar,
        ListChanges,
        FetchTodos,
        SendThing,   // thing
        DeleteThing, // thing
    };

    SyncProblem() = default;
    explicit SyncProblem(Kind kind, Step step = Step::None) : kind(kind), step(step) {}

    Kind kind = Kind::None;
    Step step = Step::None;
    QUrl url;
    QUrl other;
    int status = 0;
    int networkError = 0; // QNetworkReply::NetworkError
    qint64 count = 0;
    std::optional<ThingKey> thing;
    QStringList names;
    QString detail;
    QString systemWords;

    bool isNone() const { return kind == Kind::None; }
};
