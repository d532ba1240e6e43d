#include "syncstate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace syncstate {

namespace {

constexpr int Format = 1;

QJsonObject toJson(const LinkedTodo &todo)
{
    QJsonObject o{{QStringLiteral("href"), todo.href},
                  {QStringLiteral("uid"), todo.uid},
                  {QStringLiteral("etag"), QString::fromUtf8(todo.etag)},
                  {QStringLiteral("day"), todo.key.day.toString(Qt::ISODate)},
                  {QStringLiteral("number"), todo.key.number}};
    if (todo.base) {
        o.insert(u"text", todo.base->text);
        o.insert(u"done", todo.base->done);
    }
    if (!todo.body.isEmpty())
        o.insert(u"body", QString::fromUtf8(todo.body));
    if (todo.refetch)
        o.insert(u"refetch", true);
    return o;
}

std::optional<LinkedTodo> linkedFrom(const QJsonObject &o)
{
    LinkedTodo todo;
    todo.href = o.value(u"href").toString();
    todo.uid = o.value(u"uid").toString();
    todo.etag = o.value(u"etag").toString().toUtf8();
    todo.key = {QDate::fromString(o.value(u"day").toString(), Qt::ISODate), o.value(u"number").toInt()};
    if (o.contains(u"text") || o.contains(u"done"))
        todo.base = ThingInput{o.value(u"text").toString(), o.value(u"done").toBool()};
    todo.body = o.value(u"body").toString().toUtf8();
    todo.refetch = o.value(u"refetch").toBool();
    if (todo.href.isEmpty() || !todo.key.day.isValid() || todo.key.number < 1 || todo.key.number > 5)
        return std::nullopt;
    return todo;
}

} // namespace

QByteArray toJson(const SyncState &state)
{
    QJsonArray linked;
    for (const auto &[href, todo] : state.linked)
        linked.append(toJson(todo));
    QJsonArray setAside;
    for (const auto &[href, todo] : state.setAside)
        setAside.append(QJsonObject{{QStringLiteral("href"), href}, {QStringLiteral("etag"), QString::fromUtf8(todo.etag)}, {QStringLiteral("why"), todo.why}});
    const QJsonObject root{{QStringLiteral("format"), Format},
                           {QStringLiteral("url"), state.url.toString()},
                           {QStringLiteral("user"), state.user},
                           {QStringLiteral("collection"), state.collection.toString()},
                           {QStringLiteral("syncCollection"), state.syncCollection},
                           {QStringLiteral("syncToken"), state.syncToken},
                           {QStringLiteral("linked"), linked},
                           {QStringLiteral("setAside"), setAside}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::variant<SyncState, QString> fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (!document.isObject())
        return error.error == QJsonParseError::NoError ? QStringLiteral("it is no sync state") : error.errorString();
    const QJsonObject root = document.object();
    if (root.value(u"format").toInt() != Format)
        return QStringLiteral("it is written in a format this version does not know");
    SyncState state;
    state.url = QUrl(root.value(u"url").toString());
    state.user = root.value(u"user").toString();
    state.collection = QUrl(root.value(u"collection").toString());
    state.syncCollection = root.value(u"syncCollection").toBool();
    state.syncToken = root.value(u"syncToken").toString();
    for (const QJsonValue &value : root.value(u"linked").toArray()) {
        std::optional<LinkedTodo> todo = linkedFrom(value.toObject());
        if (!todo)
            return QStringLiteral("a to-do's entry is damaged");
        state.linked.emplace(todo->href, std::move(*todo));
    }
    for (const QJsonValue &value : root.value(u"setAside").toArray()) {
        const QJsonObject o = value.toObject();
        SetAsideTodo todo{o.value(u"href").toString(), o.value(u"etag").toString().toUtf8(), o.value(u"why").toString()};
        state.setAside.emplace(todo.href, std::move(todo));
    }
    return state;
}

} // namespace syncstate

void SyncState::forgetCollection()
{
    collection.clear();
    syncCollection = false;
    syncToken.clear();
    linked.clear();
    setAside.clear();
}
