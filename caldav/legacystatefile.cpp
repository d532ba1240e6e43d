#include "legacystatefile.h"

#include <QCborArray>
#include <QCborMap>
#include <QFile>
#include <QCborValue>

namespace legacystatefile {

namespace {

constexpr int Format = 1;

std::optional<LinkedTodo> linkedFrom(const QCborMap &m)
{
    LinkedTodo todo;
    todo.href = m.value(QLatin1String("href")).toString();
    todo.uid = m.value(QLatin1String("uid")).toString();
    todo.etag = m.value(QLatin1String("etag")).toByteArray();
    todo.key = {QDate::fromString(m.value(QLatin1String("day")).toString(), Qt::ISODate),
                int(m.value(QLatin1String("number")).toInteger())};
    if (m.contains(QLatin1String("text")))
        todo.base = ThingInput{m.value(QLatin1String("text")).toString(), m.value(QLatin1String("done")).toBool()};
    todo.body = m.value(QLatin1String("body")).toByteArray();
    todo.refetch = m.value(QLatin1String("refetch")).toBool();
    if (todo.href.isEmpty() || !todo.key.day.isValid() || todo.key.number < 1 || todo.key.number > 5)
        return std::nullopt;
    return todo;
}

} // namespace

std::variant<SyncState, QString> fromBytes(const QByteArray &bytes)
{
    QCborParserError error;
    const QCborValue root = QCborValue::fromCbor(bytes, &error);
    if (error.error != QCborError::NoError)
        return error.errorString();
    if (!root.isMap() || root[QLatin1String("format")].toInteger() != Format)
        return QStringLiteral("it is no sync state this version knows");
    SyncState state;
    state.url = QUrl(root[QLatin1String("url")].toString());
    state.user = root[QLatin1String("user")].toString();
    state.collection = QUrl(root[QLatin1String("collection")].toString());
    state.syncCollection = root[QLatin1String("syncCollection")].toBool();
    state.syncToken = root[QLatin1String("syncToken")].toString();
    for (const QCborValue &value : root[QLatin1String("linked")].toArray()) {
        std::optional<LinkedTodo> todo = linkedFrom(value.toMap());
        if (!todo)
            return QStringLiteral("a to-do's entry is damaged");
        state.linked.emplace(todo->href, std::move(*todo));
    }
    for (const QCborValue &value : root[QLatin1String("setAside")].toArray()) {
        SetAsideTodo todo{value[QLatin1String("href")].toString(), value[QLatin1String("etag")].toByteArray(),
                          value[QLatin1String("why")].toString(), false};
        state.setAside.emplace(todo.href, std::move(todo));
    }
    return state;
}

QString pathFor(const QString &dayFilePath)
{
    return dayFilePath + QStringLiteral(".caldav");
}

std::variant<SyncState, QString> read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    auto state = fromBytes(bytes);
    if (const QString *why = std::get_if<QString>(&state))
        return QStringLiteral("%1 is damaged (%2)").arg(path, *why);
    return state;
}

} // namespace legacystatefile

