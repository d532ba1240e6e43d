#include "besidewindow.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

constexpr int Gap = 8; // between the two windows

int clampInto(int at, int low, int length, int high) { return std::clamp(at, low, std::max(low, high + 1 - length)); }

qint64 area(const QRect &r) { return r.isValid() ? qint64(r.width()) * r.height() : 0; }

std::optional<QRect> inRoomBeside(const QRect &frame, const QSize &preferred, const QSize &minimum,
                                  const QRect &available)
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
    return std::nullopt;
}

QRect overLeast(const QRect &frame, const QSize &preferred, const QRect &available)
{
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

} // namespace

SideBySide placeSideBySide(const QRect &frame, const QSize &preferred, const QSize &minimum, const QRect &available)
{
    if (const auto room = inRoomBeside(frame, preferred, minimum, available))
        return {frame, *room};
    // The room each way the screen could give, and the place of the frame that gives it.
    const int acrossRoom = std::min(preferred.width(), available.width() - frame.width() - Gap);
    const int downRoom = std::min(preferred.height(), available.height() - frame.height() - Gap);
    const QPoint moves[] = {
        QPoint(available.left() + available.width() - acrossRoom - Gap - frame.width(), frame.top()), // room right
        QPoint(available.left() + acrossRoom + Gap, frame.top()),                                     // room left
        QPoint(frame.left(), available.top() + available.height() - downRoom - Gap - frame.height()), // room below
        QPoint(frame.left(), available.top() + downRoom + Gap),                                       // room above
    };
    const bool fits[] = {acrossRoom >= minimum.width(), downRoom >= minimum.height()};
    // Sideways first: a window moved up or down hides more of what lies under it.
    for (const int way : {0, 1}) {
        if (!fits[way])
            continue;
        std::optional<SideBySide> best;
        int leastMoved = 0;
        for (const QPoint &to : {moves[2 * way], moves[2 * way + 1]}) {
            const QRect moved(to, frame.size());
            const int distance = (to - frame.topLeft()).manhattanLength();
            if (!available.contains(moved) || (best && distance >= leastMoved))
                continue;
            if (const auto room = inRoomBeside(moved, preferred, minimum, available)) {
                best = SideBySide{moved, *room};
                leastMoved = distance;
            }
        }
        if (best)
            return *best;
    }
    return {frame, overLeast(frame, preferred, available)};
}
