#include "clockhand.h"

#include <cmath>

namespace clockhand {

QLineF line(const Hand &hand, int n)
{
    // Single-precision angle and this value of pi on purpose: the dial's positions were laid out
    // with them, and a double angle moves the tips by a hair at some counts.
    constexpr double Pi = 3.14159265358979;
    const float a = float((180 - n * hand.degreesPerStep) * Pi / 180);
    const double sinA = std::sin(double(a));
    const double cosA = std::cos(double(a));

    const float x1 = float(Centre.x() + hand.length * sinA);
    const float y1 = float(Centre.y() + hand.length * cosA);
    const float x2 = float(Centre.x() - hand.tail * sinA);
    const float y2 = float(Centre.y() - hand.tail * cosA);
    return {x1, y1, x2, y2};
}

} // namespace clockhand
