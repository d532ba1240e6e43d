#include "programarguments.h"

#include <QFileInfo>
#include <cstdio>

namespace {
const QString Option = QStringLiteral("--day-file");
const QString OptionIs = QStringLiteral("--day-file=");
} // namespace

std::optional<QString> dayFileNamedOn(const QStringList &arguments)
{
    QString named;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == Option)
            named = arguments.value(++i);
        else if (arguments[i].startsWith(OptionIs))
            named = arguments[i].mid(OptionIs.size());
        else
            continue;
        if (named.isEmpty()) {
            std::fprintf(stderr, "tallyleaf: --day-file needs a path\nUsage: tallyleaf [--day-file PATH]\n");
            return std::nullopt;
        }
    }
    // Absolute, so that the lock and the running window are found by the same name from any folder.
    return named.isEmpty() ? QString() : QFileInfo(named).absoluteFilePath();
}

QStringList namingDayFile(const QStringList &arguments, const QString &dayFile)
{
    QStringList kept;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == Option)
            ++i;
        else if (!arguments[i].startsWith(OptionIs))
            kept << arguments[i];
    }
    return kept << Option << dayFile;
}
