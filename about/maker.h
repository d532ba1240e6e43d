#pragma once

#include <QString>

// Who makes the program and where feedback goes. The about text and the mail command both use
// these, so changing them here changes both.
namespace maker {

inline const QString Name = QStringLiteral("Tallyleaf 开发组");
inline const QString Web = QStringLiteral("https://tallyleaf.example.org");
inline const QString FeedbackAddress = QStringLiteral("tallyleaf@example.org");

} // namespace maker
