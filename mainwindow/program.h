#pragma once

// The program from start to end: one writer per day file, the main window, the event loop.
// Needs a QApplication.
int runTallyleaf();
