#include "ioresult.h"

#include <cstring>

QString IoResult::describe() const
{
    const char *what = "";
    switch (step) {
    case Step::None:
        return QString();
    case Step::Open:
        what = "Cannot open";
        break;
    case Step::Create:
        what = "Cannot create";
        break;
    case Step::Read:
        what = "Cannot read";
        break;
    case Step::Write:
        what = "Cannot write";
        break;
    case Step::Sync:
        what = "Cannot sync";
        break;
    case Step::SyncFolder:
        what = "Cannot sync the folder of";
        break;
    case Step::Measure:
        what = "Cannot measure";
        break;
    case Step::Undo:
        what = "Cannot undo the unfinished save in";
        break;
    case Step::SetAside:
        what = "Cannot set aside";
        break;
    case Step::Lock:
        what = "Cannot lock";
        break;
    }
    return QStringLiteral("%1 %2: %3").arg(QLatin1StringView(what), path, errorText(error));
}

QString errorText(int error)
{
    switch (error) {
    case ENXIO:
        return QStringLiteral("not a regular file");
    case ELOOP:
        return QStringLiteral("a symbolic link, which is not followed here");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}
