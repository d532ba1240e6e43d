#pragma once

#include <QByteArray>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>

// An HTTP proxy on 127.0.0.1 in front of the test's server that fails on purpose: it drops the
// connection after the server answered, answers 500 or 503 itself, stalls, or lets another client
// change a to-do just before the request reaches the server. It serves one request per
// connection, each in a thread of its own, and counts the requests by method.
class FaultProxy : public QThread
{
public:
    enum class Fault {
        None,
        DropAfterAnswer, // the server got the request and answered; the client never hears it
        Answer500,
        Answer503,
        Stall,           // never answers: the client's timeout must end it
        ChangeFirst,     // runs the test's change, then passes the request on
    };

    explicit FaultProxy(const QUrl &upstream);
    ~FaultProxy() override;

    // The same resource, through the proxy.
    QUrl via(const QUrl &url) const;
    // The next `times` requests with this method (any, when empty) meet the fault.
    void setFault(Fault fault, const QByteArray &method, int times = 1);
    void setChange(std::function<void(const QByteArray &path)> change) { m_change = std::move(change); }
    // Every answer's body, while set, as rewrite makes it of the request's body and its own.
    // Set and cleared only between syncs.
    using Rewrite = std::function<QByteArray(const QByteArray &request, const QByteArray &answer)>;
    void setRewrite(Rewrite rewrite) { m_rewrite = std::move(rewrite); }
    // Leaves sync-collection out of every supported-report-set, as a server without it would.
    void hideSyncCollection(bool hide) { m_hideSyncCollection = hide; }
    int requests(const QByteArray &method = {}) const;
    void resetCounts();
    // Waits until every request it passed on was answered (or its client went away): a request
    // of a sync that was stopped may still be on its way to the server.
    void waitUntilIdle() const;

protected:
    void run() override;

private:
    void serve(qintptr descriptor);
    Fault take(const QByteArray &method);

    QUrl m_upstream;
    std::atomic<quint16> m_port{0};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_hideSyncCollection{false};
    std::atomic<int> m_serving{0};
    mutable std::mutex m_mutex;
    Fault m_fault = Fault::None;
    QByteArray m_faultMethod;
    int m_faultTimes = 0;
    std::map<QByteArray, int> m_counts;
    std::function<void(const QByteArray &)> m_change;
    Rewrite m_rewrite;
};
