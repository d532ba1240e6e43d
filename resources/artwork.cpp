#include "artwork.h"

namespace artwork {

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
