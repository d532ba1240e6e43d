#include "problemwords.h"

#include <QLocale>
#include <QNetworkReply>

namespace problemwords {

namespace {

using Kind = SyncProblem::Kind;
using Step = SyncProblem::Step;

QString step(const SyncProblem &p)
{
    const QString which = p.thing ? thing(*p.thing) : QString();
    switch (p.step) {
    case Step::None:
        return QString();
    case Step::ReadCollection:
        return QStringLiteral("读取日历时");
    case Step::ReadPrincipal:
        return QStringLiteral("读取你的账户时");
    case Step::ListCalendars:
        return QStringLiteral("列出你的日历时");
    case Step::MakeCalendar:
        return QStringLiteral("新建日历时");
    case Step::ListChanges:
        return QStringLiteral("列出服务器上的改动时");
    case Step::FetchTodos:
        return QStringLiteral("取回有改动的待办时");
    case Step::SendThing:
        return QStringLiteral("发送 %1时").arg(which);
    case Step::DeleteThing:
        return QStringLiteral("删除 %1的待办时").arg(which);
    }
    return QString();
}

// The commonest answers a server gives, so that the number alone does not have to say it.
QString status(int code)
{
    switch (code) {
    case 400:
        return QStringLiteral("请求有误");
    case 403:
        return QStringLiteral("禁止访问");
    case 404:
        return QStringLiteral("找不到");
    case 405:
        return QStringLiteral("不允许这样操作");
    case 409:
        return QStringLiteral("与服务器上的内容冲突");
    case 413:
        return QStringLiteral("内容太大");
    case 415:
        return QStringLiteral("不接受这种内容");
    case 500:
        return QStringLiteral("服务器内部出错");
    case 502:
    case 503:
    case 504:
        return QStringLiteral("服务器暂时不可用");
    case 507:
        return QStringLiteral("服务器空间不足");
    default:
        return QString();
    }
}

QString what(const SyncProblem &p)
{
    const QString url = p.url.toDisplayString();
    const QString host = p.url.host();
    switch (p.kind) {
    case Kind::None:
        return QString();
    case Kind::Stopped:
        return QStringLiteral("同步被中止了");
    case Kind::NotAnAddress:
        return QStringLiteral("“%1”不是服务器的地址").arg(url);
    case Kind::NameInAddress:
        return QStringLiteral("地址中含有用户名或密码，请把用户名填在“用户名”一栏");
    case Kind::NotHttp:
        return QStringLiteral("%1 不是网址，应以 https:// 开头").arg(url);
    case Kind::PlainHttp:
        return QStringLiteral("密码会以明文传到 %1，请改用以 https:// 开头的地址").arg(host);
    case Kind::NoAnswer:
        return noAnswer(p.networkError, host);
    case Kind::TimedOut:
        return QStringLiteral("%1 在 %2 秒内没有回应").arg(host).arg(double(p.count) / 1000);
    case Kind::TooLarge:
        return QStringLiteral("%1 的回答超过了 %2 字节").arg(url).arg(p.count);
    case Kind::Certificate:
        return QStringLiteral("%1 的证书不受信任").arg(host);
    case Kind::LoginRefused:
        return QStringLiteral("%1 拒绝了用户名或密码").arg(host);
    case Kind::Status: {
        const QString gloss = status(p.status);
        return gloss.isEmpty() ? QStringLiteral("服务器对 %1 的回答是 %2").arg(url).arg(p.status)
                               : QStringLiteral("服务器对 %1 的回答是 %2（%3）").arg(url).arg(p.status).arg(gloss);
    }
    case Kind::Moved:
        return QStringLiteral("%1 已经搬到 %2，请改用这个地址").arg(url, p.other.toDisplayString());
    case Kind::OtherServer:
        return QStringLiteral("%1 在另一台服务器上，密码不会发给它").arg(p.other.toDisplayString());
    case Kind::UnreadableAnswer:
        return QStringLiteral("%1 的回答无法读懂").arg(url);
    case Kind::CutShort:
        return QStringLiteral("服务器只列出了一部分，没有给出其余部分");
    case Kind::NotForTodos:
        return QStringLiteral("%1 是一个不能存放待办的日历").arg(url);
    case Kind::NoCalendar:
        return QStringLiteral("%1 不是日历，也没有指向你的日历").arg(url);
    case Kind::NoCalendarHome:
        return QStringLiteral("%1 没有指明你的日历在哪里").arg(url);
    case Kind::SeveralCalendars:
        return QStringLiteral("%1 下有几个可以存放待办的日历，请在“同步设置…”中填写其中一个的地址：\n%2")
            .arg(url, p.names.join(u'\n'));
    case Kind::ServerKeptChanging:
        return QStringLiteral("同步期间服务器上有 %1 个待办一直在改动，请稍后再同步").arg(p.count);
    case Kind::BookKeptChanging:
        return QStringLiteral("同步期间日程一直在改动，请稍后再同步");
    case Kind::TooManyDeletions:
        return QStringLiteral("这次同步要一下子删除 %1 件事或待办").arg(p.count);
    case Kind::BookNotWhole:
        return QStringLiteral("日程文件这次没有完整读入（或不能写入）");
    case Kind::DayFileNotWritten:
        return p.detail.isEmpty() ? QStringLiteral("日程文件无法写入") : p.detail;
    case Kind::StateUnusable:
        return QStringLiteral("同步状态文件无法读写");
    }
    return QString();
}

} // namespace

QString thing(const ThingKey &key)
{
    return QStringLiteral("%1 的第 %2 件事").arg(QLocale().toString(key.day, QLocale::ShortFormat)).arg(key.number);
}

QString noAnswer(int networkError, const QString &host)
{
    switch (QNetworkReply::NetworkError(networkError)) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("%1 拒绝了连接").arg(host);
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("%1 中途断开了连接").arg(host);
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("找不到服务器 %1").arg(host);
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return QStringLiteral("%1 没有及时回应").arg(host);
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("与 %1 没能建立加密连接").arg(host);
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return QStringLiteral("网络暂时不通，连不上 %1").arg(host);
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return QStringLiteral("%1 的转址不能跟随").arg(host);
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::UnknownProxyError:
        return QStringLiteral("经代理服务器连不上 %1").arg(host);
    default:
        return QStringLiteral("连不上 %1（网络错误 %2）").arg(host).arg(networkError);
    }
}

QString describe(const SyncProblem &problem)
{
    const QString at = step(problem);
    const QString wrong = what(problem);
    return at.isEmpty() || wrong.isEmpty() ? wrong : QStringLiteral("%1：%2").arg(at, wrong);
}

} // namespace problemwords
