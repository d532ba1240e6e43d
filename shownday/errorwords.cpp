#include "errorwords.h"

#include <QDir>
#include <cerrno>
#include <cstring>

namespace errorwords {

namespace {

QString step(IoResult::Step step)
{
    switch (step) {
    case IoResult::Step::None:
        return QString();
    case IoResult::Step::Open:
        return QStringLiteral("无法打开");
    case IoResult::Step::Create:
        return QStringLiteral("无法创建");
    case IoResult::Step::Read:
        return QStringLiteral("无法读取");
    case IoResult::Step::Write:
        return QStringLiteral("无法写入");
    case IoResult::Step::Sync:
        return QStringLiteral("无法确保写到磁盘上");
    case IoResult::Step::SyncFolder:
        return QStringLiteral("无法确保文件夹记下");
    case IoResult::Step::Measure:
        return QStringLiteral("无法读出大小");
    case IoResult::Step::Undo:
        return QStringLiteral("无法撤销未完成的保存");
    case IoResult::Step::SetAside:
        return QStringLiteral("无法改名移开");
    case IoResult::Step::Lock:
        return QStringLiteral("无法锁定");
    }
    return QString();
}

// The commonest failures; anything else is told in the system's words alone.
QString words(int error)
{
    switch (error) {
    case EACCES:
        return QStringLiteral("没有权限");
    case EPERM:
        return QStringLiteral("不允许这样操作");
    case ENOSPC:
        return QStringLiteral("磁盘空间不足");
    case EDQUOT:
        return QStringLiteral("超出了磁盘配额");
    case EROFS:
        return QStringLiteral("文件系统是只读的");
    case EIO:
        return QStringLiteral("磁盘读写出错");
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在");
    case ENOTDIR:
        return QStringLiteral("路径中有一部分不是文件夹");
    case EISDIR:
        return QStringLiteral("这是一个文件夹");
    case EEXIST:
        return QStringLiteral("已经有同名的文件");
    case ENXIO:
        return QStringLiteral("不是普通文件");
    case ELOOP:
        return QStringLiteral("是符号链接，这里不跟随");
    case EFBIG:
        return QStringLiteral("文件超出了允许的大小");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件太多");
    case ENAMETOOLONG:
        return QStringLiteral("路径太长");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("文件正被占用");
    case EWOULDBLOCK:
        return QStringLiteral("被另一个程序锁定");
    case ENOLCK:
    case ENOSYS:
    case EOPNOTSUPP:
        return QStringLiteral("这个文件系统不支持文件锁");
    case EINTR:
        return QStringLiteral("操作被中断");
    case ENOMEM:
        return QStringLiteral("内存不足");
    default:
        return QString();
    }
}

} // namespace

QString reason(int error)
{
    const QString system = QString::fromLocal8Bit(std::strerror(error));
    const QString chinese = words(error);
    return chinese.isEmpty() ? system : QStringLiteral("%1（%2）").arg(chinese, system);
}

QString describe(const IoResult &result)
{
    if (result.ok())
        return QString();
    return QStringLiteral("%1 %2：%3").arg(step(result.step), QDir::toNativeSeparators(result.path), reason(result.error));
}

} // namespace errorwords
