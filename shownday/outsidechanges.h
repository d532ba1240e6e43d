#pragma once

#include "dayfile.h"

#include <QDate>
#include <vector>

class ShownDay;

// Things changed outside the window (on a calendar server), brought into the shown day's book.
namespace outsidechanges {

struct ThingChange
{
    QDate day;
    qint32 number = 0; // 1 to 5
    ThingInput thing;
};

// Writes the changes into the day book in one save; a change to the shown day goes in with what
// the view holds of its other things (edits not saved yet among them), and the view shows it
// without touching the box being typed in. Nothing is written when another copy stands at the day
// file's name: that copy is merged first, and the report says Replaced (the caller decides again
// on what the file holds then). A thing held between two versions is not to be changed here.
[[nodiscard]] SaveReport bringIn(ShownDay &day, const std::vector<ThingChange> &changes);

} // namespace outsidechanges
