#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a window goes beside another window (frame) on a screen whose free area is available: to
// its right, else below it, else to its left, else above it, in the room there, at its preferred
// size or as much of it as the room has (but no less than minimum). Where there is no such room,
// at its preferred size on the screen where it covers the least of the other window.
QRect placeBeside(const QRect &frame, const QSize &preferred, const QSize &minimum, const QRect &available);
