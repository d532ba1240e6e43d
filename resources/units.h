#pragma once

#include <QRect>
#include <QRectF>

// The window designs are measured in twips (1/1440 inch). Qt lays out in device-independent
// pixels at 96 dpi, where 15 twips make a pixel and 20 twips a point; Qt's own scaling takes
// care of HiDPI screens. Every design position goes through these helpers.
namespace units {

inline constexpr double TwipsPerPixel = 15.0;
inline constexpr double TwipsPerPoint = 20.0;
inline constexpr double PixelsPerPoint = TwipsPerPoint / TwipsPerPixel;

constexpr double twipsToPixels(double twips) { return twips / TwipsPerPixel; }
constexpr double twipsToPoints(double twips) { return twips / TwipsPerPoint; }
constexpr double pointsToPixels(double points) { return points * PixelsPerPoint; }

inline QRectF twipsRectF(double left, double top, double width, double height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

// Widgets sit on whole pixels; a fractional edge rounds as the window system would place it.
inline QRect twipsRect(double left, double top, double width, double height)
{
    return twipsRectF(left, top, width, height).toRect();
}

} // namespace units
