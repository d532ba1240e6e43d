#include "syncwords.h"

#include "davclient.h"
#include "problemwords.h"

#include <QDir>
#include <QLocale>

namespace syncwords {

namespace {

QString headline(const SyncReport &report, bool loginRefused)
{
    if (loginRefused)
        return QStringLiteral("日历服务器拒绝了用户名或密码。请选“立即同步”重新输入密码；用户名不对时，请在“同步设置…”中修改。");
    switch (report.status) {
    case SyncReport::Status::InStep:
    case SyncReport::Status::Conflicts:
        return QString();
    case SyncReport::Status::ServerFailed:
        return QStringLiteral("无法与日历服务器同步：服务器连接不上、拒绝了请求或回答有误。程序会定时再试。");
    case SyncReport::Status::LocalFailed:
        return QStringLiteral("从日历服务器收到的改动未能写入日程文件，下次同步时会再试。");
    case SyncReport::Status::StateFailed:
        return QStringLiteral("同步状态文件无法读写，未能同步。");
    case SyncReport::Status::Setup:
        if (report.otherServer.isValid())
            return QStringLiteral("日历服务器把日历指向了另一台服务器 %1；你的密码不会发给它，所以没有同步。"
                                  "如果信任它，请在“同步设置…”中直接填写这个地址。")
                .arg(report.otherServer.toDisplayString());
        return QStringLiteral("这个地址不能直接用于同步，请在“同步设置…”中修改。");
    case SyncReport::Status::TooManyDeletions:
        return QStringLiteral("这次同步要一下子删除 %1 件事或待办，没有执行，两边都保持原样。").arg(report.deletions);
    }
    return QString();
}

// Why a to-do stays on the server.
QString reason(const syncplanner::LeftReason &why)
{
    using Kind = syncplanner::LeftReason::Kind;
    switch (why.kind) {
    case Kind::Unreadable:
        return QStringLiteral("内容无法完整读取");
    case Kind::Repeating:
        return QStringLiteral("是重复的待办，一件事无法表示");
    case Kind::NoGbkForm: {
        QStringList characters;
        for (char32_t c : why.characters.toUcs4())
            characters << QStringLiteral("%1（U+%2）").arg(QString::fromUcs4(&c, 1)).arg(quint32(c), 4, 16, QLatin1Char('0')).toUpper();
        return QStringLiteral("标题中有 GBK 无法表示的字符：%1").arg(characters.join(QStringLiteral("、")));
    }
    case Kind::TooLong:
        return QStringLiteral("标题有 %1 字节，一件事最多只能存 160 字节").arg(why.bytes);
    case Kind::LineBreak:
        return QStringLiteral("标题中有换行或控制字符");
    case Kind::NoDate:
        return QStringLiteral("没有截止日期，也没有开始日期");
    case Kind::DayFull:
        return QStringLiteral("%1 已经有五件事了").arg(QLocale().toString(why.day, QLocale::ShortFormat));
    }
    return QString();
}

} // namespace

QString failure(const SyncReport &report, bool loginRefused)
{
    const QString what = headline(report, loginRefused);
    // What the headline says already is not said twice.
    const bool said = loginRefused || report.otherServer.isValid()
        || report.problem.kind == SyncProblem::Kind::TooManyDeletions;
    const QString detail = said ? QString() : problemwords::describe(report.problem);
    return what.isEmpty() || detail.isEmpty() ? what : QStringLiteral("%1\n\n（%2）").arg(what, detail);
}

QString failureDetails(const SyncReport &report, bool loginRefused)
{
    const QString told = failure(report, loginRefused);
    const QString system = report.problem.systemWords;
    return system.isEmpty() ? told : QStringLiteral("%1\n\n系统的说明：%2").arg(told, system);
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
        text += QStringLiteral("\n· %1（%2）").arg(name, reason(todo.reason));
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

QString conflictsAbout(const QUrl &collection)
{
    return QStringLiteral("这些事在这台电脑上和日历服务器上都改了：\n%1\n\n请选择要保留的内容（“另一份”是服务器上的）；"
                          "以后再说的，两边保持原样，下次手动同步时再问。")
        .arg(collection.toDisplayString());
}

QString passwordQuestion(const QUrl &url, const QString &user, PasswordAsk ask)
{
    QString text;
    if (ask.refused)
        text += QStringLiteral("%1 拒绝了刚才的密码。\n\n").arg(url.host());
    if (ask.noKeychain)
        text += QStringLiteral("这台电脑上没有可用的钥匙串，密码只保留到程序关闭，下次启动时会再问。\n\n");
    return text + QStringLiteral("请输入 %1 在 %2 的密码：").arg(user, url.host());
}

QString addressRefused(const QUrl &url)
{
    return QStringLiteral("这个地址不能用于同步：\n%1\n\n（%2）")
        .arg(url.toDisplayString(), problemwords::describe(DavClient::addressProblem(url)));
}

QString settingsNotSaved(const QString &statePath)
{
    return QStringLiteral("同步设置未能保存：同步状态文件无法写入。\n%1").arg(QDir::toNativeSeparators(statePath));
}

QString stateNotMoved(const QString &statePath)
{
    return QStringLiteral("同步状态未能跟着日程文件移动，请在“同步设置…”中重新填写服务器地址；"
                          "重新同步时每件事都会重新比较，不会丢失。\n%1")
        .arg(QDir::toNativeSeparators(statePath));
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
