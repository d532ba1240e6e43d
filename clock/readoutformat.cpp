#include "readoutformat.h"

#include <QRegularExpression>
#include <QStringList>

QString timeFormatWithoutZone(const QString &format)
{
    // Quoted text is literal, so only every other piece between quotes can hold the zone field.
    static const QRegularExpression zone(QStringLiteral("\\s*[\\[(]?t+[\\])]?\\s*"));
    QStringList pieces = format.split(QLatin1Char('\''));
    for (qsizetype i = 0; i < pieces.size(); i += 2)
        pieces[i].replace(zone, QStringLiteral(" "));
    return pieces.join(QLatin1Char('\'')).trimmed();
}
