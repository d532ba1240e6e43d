#include "besidewindow.h"

#include <algorithm>
#include <array>

namespace {

constexpr int Gap = 8; // between the two windows

int clampInto(int at, int low, int length, int high) { return std::clamp(at, low, std::max(low, high + 1 - length)); }

qint64 area(const QRect &r) { return r.isValid() ? qint64(r.width()) * r.height() : 0; }

} // namespace

QRect placeBeside(const QRect &frame, const QSize &preferred, const QSize &minimum, const QRect &available)
{
    const QRect rooms[] = {
        QRect(QPoint(frame.right() + 1 + Gap, available.top()), available.bottomRight()),           // right
        QRect(QPoint(available.left(), frame.bottom() + 1 + Gap), available.bottomRight()),         // below
        QRect(available.topLeft(), QPoint(frame.left() - 1 - Gap, available.bottom())),             // left
        QRect(available.topLeft(), QPoint(available.right(), frame.top() - 1 - Gap)),               // above
    };
    for (int side = 0; side < 4; ++side) {
        const QRect &room = rooms[side];
        if (room.width() < minimum.width() || room.height() < minimum.height())
            continue;
        const QSize size = preferred.boundedTo(room.size());
        const int x = side == 2 ? room.right() + 1 - size.width()
            : side == 0         ? room.left()
                                : clampInto(frame.left(), room.left(), size.width(), room.right());
        const int y = side == 3 ? room.bottom() + 1 - size.height()
            : side == 1         ? room.top()
                                : clampInto(frame.top(), room.top(), size.height(), room.bottom());
        return QRect(QPoint(x, y), size);
    }
    // No room beside it: over as little of it as the screen allows.
    const QPoint sides[] = {
        QPoint(frame.right() + 1 + Gap, frame.top()),
        QPoint(frame.left(), frame.bottom() + 1 + Gap),
        QPoint(frame.left() - Gap - preferred.width(), frame.top()),
        QPoint(frame.left(), frame.top() - Gap - preferred.height()),
    };
    QRect best;
    qint64 leastCovered = -1;
    for (const QPoint &side : sides) {
        const QRect placed(QPoint(clampInto(side.x(), available.left(), preferred.width(), available.right()),
                                  clampInto(side.y(), available.top(), preferred.height(), available.bottom())),
                           preferred);
        const qint64 covered = area(placed.intersected(frame));
        if (leastCovered < 0 || covered < leastCovered) {
            best = placed;
            leastCovered = covered;
        }
    }
    return best;
}
