// The reports of the day file in English, for the tool and for logs; the windows say them in
// the user's language.
#include "dayfile.h"

QString SaveReport::describe(const QString &dayFilePath) const
{
    switch (status) {
    case Status::OnDisk:
        return QStringLiteral("%1 is saved").arg(dayFilePath);
    case Status::TableFull:
        return QStringLiteral("the day book is full (%1 records)").arg(DayTable::DayCapacity);
    case Status::NoGbkForm:
        return QStringLiteral("thing %1 of %2 has characters without a GBK form")
            .arg(refusedThing)
            .arg(refusedDay.toString(Qt::ISODate));
    case Status::NotOnDisk:
    case Status::Replaced:
        break;
    }
    switch (why) {
    case Why::Disk:
        return problem.describe();
    case Why::NotLoaded:
        return QStringLiteral("%1 was not read to its end, so it is not written").arg(dayFilePath);
    case Why::ReadOnly:
        return QStringLiteral("%1 is only read this time, so it is not written").arg(dayFilePath);
    case Why::OtherFile:
        return QStringLiteral("%1 was replaced by another file").arg(dayFilePath);
    case Why::OtherLength:
        return QStringLiteral("%1 was changed by another program: it has another length").arg(dayFilePath);
    case Why::OtherDays:
        return QStringLiteral("%1 was changed by another program: a record it would overwrite holds another day")
            .arg(dayFilePath);
    }
    return QString();
}
