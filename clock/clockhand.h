#pragma once

#include <QLineF>
#include <QPointF>

// The dial's geometry, in points of the clock window.
namespace clockhand {

inline constexpr QPointF Centre{402, 258};

struct Hand {
    float length;       // centre to tip
    float tail;         // centre to the end behind the centre
    int degreesPerStep; // turn for one second, minute or hour
};

inline constexpr Hand Second{180, 20, 6};
inline constexpr Hand Minute{150, 10, 6};
inline constexpr Hand Hour{120, 10, 30};

// The line from tip to tail of a hand showing count n (0 = twelve o'clock, clockwise).
// Hours 12..23 land where 0..11 do; the hour hand ignores the minutes.
QLineF line(const Hand &hand, int n);

} // namespace clockhand
