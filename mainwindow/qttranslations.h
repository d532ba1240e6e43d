#pragma once

#include <QLocale>

// Loads Qt's own translations (the Yes, No and OK of message boxes) for locale and installs them
// in the application. False when Qt has none for that language, which leaves Qt's English.
bool installQtTranslations(const QLocale &locale);
