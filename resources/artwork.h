#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's pictures, compiled in from resources/images. Each PNG has an @2x twin that Qt
// picks on HiDPI screens.
namespace artwork {

inline const QString Banner = QStringLiteral(":/images/banner.png");           // 182 × 44
inline const QString AboutBanner = QStringLiteral(":/images/about_banner.png"); // 480 × 112
inline const QString Check = QStringLiteral(":/images/check.png");              // 66 × 60, not done
inline const QString CheckOk = QStringLiteral(":/images/check_ok.png");         // 68 × 62, done

// A picture at the screen's pixel density: the @2x twin on HiDPI screens, drawn for that size
// rather than scaled up.
QPixmap picture(const QString &path);

// The icon shared by every window of the program.
QIcon programIcon();

} // namespace artwork
