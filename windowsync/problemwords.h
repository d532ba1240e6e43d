#pragma once

#include "syncproblem.h"

#include <QString>

// A sync's problem in the window's words: what the sync was doing, what went wrong and where, in
// Chinese, naming only addresses, hosts, files and numbers. The system's own words
// (SyncProblem::systemWords) are left to the details, for anyone who looks them up.
namespace problemwords {

// "列出服务器上的改动时：127.0.0.1 拒绝了连接"; empty for no problem.
QString describe(const SyncProblem &problem);

// Why a request to host found no answer, for a QNetworkReply::NetworkError.
QString noAnswer(int networkError, const QString &host);

// A thing in a sentence: "5/17/13 的第 2 件事".
QString thing(const ThingKey &key);

} // namespace problemwords
