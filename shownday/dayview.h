#pragma once

#include "daythings.h"

#include <QString>

// The main window's view of one day as the controller of the shown day sees it: the five boxes
// and their marks, which hold the working copy of the day while the user edits, and the caption.
class DayView
{
public:
    virtual ~DayView() = default;

    // The five things as the view holds them: the texts of the boxes and the marks.
    virtual DayThings viewThings() const = 0;
    // Fills the boxes and marks. The view's change events may mark the day dirty meanwhile; the
    // controller decides what Dirty is afterwards.
    virtual void showThings(const DayThings &things) = 0;
    virtual void showCaption(const QString &caption) = 0;
    // A step that cannot be taken (past the first or last day there is).
    virtual void beep() = 0;
    // Nothing shown can be changed: the day file is only read this time.
    virtual void setReadOnly(bool readOnly) = 0;
};
