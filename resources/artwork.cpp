#include "artwork.h"

#include <QGuiApplication>

namespace artwork {

QPixmap picture(const QString &path)
{
    if (qGuiApp && qGuiApp->devicePixelRatio() > 1.0) {
        QString twin = path;
        twin.insert(twin.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
        QPixmap hi(twin);
        if (!hi.isNull()) {
            hi.setDevicePixelRatio(2.0);
            return hi;
        }
    }
    return QPixmap(path);
}

QIcon programIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            i.addFile(QStringLiteral(":/icons/%1/tallyleaf.png").arg(size), QSize(size, size));
        return i;
    }();
    return icon;
}

} // namespace artwork
