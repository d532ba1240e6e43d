#include "syncstate.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborStreamWriter>
#include <QCborValue>

namespace syncstate {

namespace {

constexpr int Format = 1;

void put(QCborStreamWriter &w, const char *key, const QString &value)
{
    w.append(QLatin1String(key));
    w.append(value);
}

void write(QCborStreamWriter &w, const LinkedTodo &todo)
{
    w.startMap();
    put(w, "href", todo.href);
    put(w, "uid", todo.uid);
    w.append(QLatin1String("etag"));
    w.append(todo.etag);
    put(w, "day", todo.key.day.toString(Qt::ISODate));
    w.append(QLatin1String("number"));
    w.append(todo.key.number);
    if (todo.base) {
        put(w, "text", todo.base->text);
        w.append(QLatin1String("done"));
        w.append(todo.base->done);
    }
    if (!todo.body.isEmpty()) {
        w.append(QLatin1String("body"));
        w.append(todo.body);
    }
    if (todo.refetch) {
        w.append(QLatin1String("refetch"));
        w.append(true);
    }
    if (todo.learntAfterToken) {
        w.append(QLatin1String("afterToken"));
        w.append(true);
    }
    w.endMap();
}

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
    todo.learntAfterToken = m.value(QLatin1String("afterToken")).toBool();
    if (todo.href.isEmpty() || !todo.key.day.isValid() || todo.key.number < 1 || todo.key.number > 5)
        return std::nullopt;
    return todo;
}

} // namespace

// CBOR, written as a stream: a state of ten years of things is several megabytes, and it is
// saved after every step of a sync.
QByteArray toBytes(const SyncState &state)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startMap();
    w.append(QLatin1String("format"));
    w.append(Format);
    put(w, "url", state.url.toString());
    put(w, "user", state.user);
    put(w, "collection", state.collection.toString());
    w.append(QLatin1String("syncCollection"));
    w.append(state.syncCollection);
    put(w, "syncToken", state.syncToken);
    w.append(QLatin1String("linked"));
    w.startArray(quint64(state.linked.size()));
    for (const auto &[href, todo] : state.linked)
        write(w, todo);
    w.endArray();
    w.append(QLatin1String("setAside"));
    w.startArray(quint64(state.setAside.size()));
    for (const auto &[href, todo] : state.setAside) {
        w.startMap();
        put(w, "href", href);
        w.append(QLatin1String("etag"));
        w.append(todo.etag);
        put(w, "why", todo.why);
        w.endMap();
    }
    w.endArray();
    w.endMap();
    return out;
}

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
                          value[QLatin1String("why")].toString()};
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
