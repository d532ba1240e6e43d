#include "syncwords.h"

#include <QLocale>

namespace syncwords {

QString failure(const SyncReport &report, bool loginRefused)
{
    QString what;
    if (loginRefused) {
        what = QStringLiteral("日历服务器拒绝了用户名或密码。请在“同步设置…”中重新输入密码。");
    } else {
        switch (report.status) {
        case SyncReport::Status::InStep:
        case SyncReport::Status::Conflicts:
            return QString();
        case SyncReport::Status::ServerFailed:
            what = QStringLiteral("无法与日历服务器同步：服务器连接不上、拒绝了请求或回答有误。程序会定时再试。");
            break;
        case SyncReport::Status::LocalFailed:
            what = QStringLiteral("从日历服务器收到的改动未能写入日程文件，下次同步时会再试。");
            break;
        case SyncReport::Status::StateFailed:
            what = QStringLiteral("同步状态文件无法读写，未能同步。");
            break;
        case SyncReport::Status::Setup:
            if (report.otherServer.isValid())
                return QStringLiteral("日历服务器把日历指向了另一台服务器 %1；你的密码不会发给它，所以没有同步。"
                                      "如果信任它，请在“同步设置…”中直接填写这个地址。")
                    .arg(report.otherServer.toDisplayString());
            what = QStringLiteral("这个地址不能直接用于同步，请在“同步设置…”中修改。");
            break;
        case SyncReport::Status::TooManyDeletions:
            return QStringLiteral("这次同步要一下子删除 %1 件事或待办，没有执行，两边都保持原样。").arg(report.deletions);
        }
    }
    return report.failure.isEmpty() ? what : QStringLiteral("%1\n\n（%2）").arg(what, report.failure);
}

QString leftOnServer(const std::vector<syncplanner::LeftOnServer> &left)
{
    QString text = QStringLiteral("日历服务器上有 %1 个待办无法放进日程，已原样留在服务器上：").arg(left.size());
    int listed = 0;
    for (const syncplanner::LeftOnServer &todo : left) {
        if (++listed > 10) {
            text += QStringLiteral("\n……");
            break;
        }
        const QString name = !todo.summary.isEmpty() ? todo.summary : !todo.uid.isEmpty() ? todo.uid : todo.href;
        text += QStringLiteral("\n· %1（%2）").arg(name, todo.why);
    }
    return text;
}

QString massDeletion(const SyncReport &report)
{
    return QStringLiteral("这次同步要一下子删除 %1 件事或待办：服务器上的待办被删除，或者这台电脑上的事被清空。\n\n"
                          "如果是你自己清空或删除的，请选“是”继续；如果不是（例如日程文件或服务器上的日历被换掉了），"
                          "请选“否”，两边都保持原样，先检查一下。\n\n%2")
        .arg(report.deletions)
        .arg(report.collection.toDisplayString());
}

QString otherServerQuestion(const QUrl &url, const QUrl &other)
{
    return QStringLiteral("日历服务器 %1 把日历指向了另一台服务器：\n%2\n\n要把你的用户名和密码也发给这台服务器吗？"
                          "只有你信任它时才选“是”；选“否”则不同步，以后也不再问。")
        .arg(url.host(), other.toDisplayString());
}

QString progress(int done, int total)
{
    return QStringLiteral("正在同步 %1 / %2").arg(QLocale().toString(done), QLocale().toString(total));
}

QString cutShortAtClose()
{
    return QStringLiteral("同步还没有做完，剩下的会在下次启动程序时接着同步，不会丢失。");
}

QString conflictsAbout(const QUrl &collection)
{
    return QStringLiteral("这些事在这台电脑上和日历服务器上都改了：\n%1\n\n请选择要保留的内容（“另一份”是服务器上的）；"
                          "以后再说的，两边保持原样，下次手动同步时再问。")
        .arg(collection.toDisplayString());
}

QString passwordQuestion(const QUrl &url, const QString &user)
{
    return QStringLiteral("请输入 %1 在 %2 的密码：").arg(user, url.host());
}

QString lastSync(const SyncReport &report, const QDateTime &when)
{
    const QString time = QLocale().toString(when.time(), QLocale::ShortFormat);
    switch (report.status) {
    case SyncReport::Status::InStep:
        return QStringLiteral("%1 已同步").arg(time);
    case SyncReport::Status::Conflicts:
        return QStringLiteral("%1 有冲突待定").arg(time);
    default:
        return QStringLiteral("%1 同步失败").arg(time);
    }
}

} // namespace syncwords
