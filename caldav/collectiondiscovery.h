#pragma once

#include "syncproblem.h"

#include <QObject>
#include <QString>
#include <QUrl>

class DavClient;
struct DavReply;

// Finds the calendar collection the to-dos go to. A URL that is a calendar taking to-dos is used as
// it is; otherwise the user's principal leads to the calendar home, and the one calendar there
// that takes to-dos is used (one named "tallyleaf" when there are several). With none, a calendar
// "Tallyleaf" for to-dos is made in the home; with several and none so named, the user chooses.
// It goes only where the client may take the password: led to another origin, it stops there.
class CollectionDiscovery : public QObject
{
    Q_OBJECT
public:
    struct Result
    {
        QUrl collection;
        bool syncCollection = false; // it answers sync-collection reports
        QString failure;             // the server cannot be reached, refuses or says no
        QString choice;              // the user has to name the collection (several found)
        QString note;                // what was made
        // The address on another origin the server led to (a principal, a home, a calendar, a
        // redirect), with failure: nothing was sent there. The user may trust its origin.
        QUrl otherServer;
        SyncProblem problem; // with failure or choice, as data
    };

    explicit CollectionDiscovery(DavClient &client, QObject *parent = nullptr);
    void start(const QUrl &url);

signals:
    void finished(const CollectionDiscovery::Result &result);

private:
    void examine(const QUrl &url);
    void findHome(const QUrl &principal);
    void listHome(const QUrl &home);
    void make(const QUrl &home);
    void fail(const DavReply &reply, SyncProblem::Step step, const QString &what);
    void finish(Result result);

    DavClient &m_client;
    QString m_note;
};
