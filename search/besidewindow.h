#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

struct SideBySide
{
    QRect frame;  // where the other window goes (where it was, unless it had to make room)
    QRect beside; // where the new window goes
};

// Where a window goes beside another window (frame) on a screen whose free area is available: to
// its right, else below it, else to its left, else above it, at its preferred size or as much of
// it as the room there has (but no less than minimum). Where the other window stands so that it
// leaves no such room but the screen could hold both, it moves as little as gives the new window
// its preferred size (or all the room the screen has), sideways before up or down. Where the
// screen cannot hold both, the new window takes its preferred size where it covers the least.
SideBySide placeSideBySide(const QRect &frame, const QSize &preferred, const QSize &minimum, const QRect &available);
