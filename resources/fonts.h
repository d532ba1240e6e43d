#pragma once

#include <QFont>

// The designs name Windows fonts. Each face is mapped here, and only here, to a list of families:
// the Windows font itself where it is installed, then a font that looks alike and ships with
// every Debian desktop that has a CJK font.
namespace fonts {

enum class Face {
    SimSun,        // 宋体: serif Chinese text, the text boxes and links
    MicrosoftYaHei, // 微软雅黑: the main window's date caption
    SimHei,        // 黑体: the calendar's big month caption
    AdobeFanHei,   // Adobe 繁黑體 Std B: the calendar's day numbers
    Symbol,        // Symbol: the clock's readout (a Greek font on Windows; we want digits)
    WindowDefault, // the toolkit's default window font on a Chinese desktop
};

// Sizes are design points; they are turned into pixels at 96 dpi so that text keeps its place
// in layouts that are measured in pixels, whatever dpi the desktop reports.
QFont font(Face face, double points, int weight = QFont::Normal, bool underline = false);

// The default font of a window, for controls whose design names none.
QFont windowDefault();

} // namespace fonts
