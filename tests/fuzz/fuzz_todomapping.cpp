// Feeds arbitrary calendar objects, as a server could send them, to the to-do -> thing mapping.
// Whatever is read must be a thing the day file holds as it is (a text of at most 160 GBK bytes,
// no control characters, a day in the date range, a number 1 to 5); written back with the tick
// turned, it must read back as that. Checked against the day book's own rules, not the mapping's.
#include "gbk.h"
#include "oledate.h"
#include "thingmerge.h"
#include "todomapping.h"

#include <QDateTime>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_todomapping: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView ics(reinterpret_cast<const char *>(data), qsizetype(size));
    const todomapping::Reading reading = todomapping::read(ics);
    if (const auto *refusal = std::get_if<todomapping::Refusal>(&reading)) {
        check(!refusal->why.isEmpty(), "a refusal without a reason");
        return 0;
    }
    const todomapping::Todo &todo = std::get<todomapping::Todo>(reading);
    check(!todo.uid.isEmpty(), "a to-do without a UID");
    const std::optional<QByteArray> bytes = gbk::encode(todo.thing.text);
    check(bytes && bytes->size() <= 160, "a text the day file cannot hold");
    check(!gbk::holdsStandIn(todo.thing.text), "a stand-in came from outside");
    for (QChar c : todo.thing.text)
        check(c.unicode() >= 0x20 && c.unicode() != 0x7F, "a control character in a text");
    check(thingmerge::storedThing(todo.thing) == todo.thing, "a text the day file would change");
    check(!todo.day || oledate::inRange(*todo.day), "a day outside the date range");
    check(!todo.number || (*todo.number >= 1 && *todo.number <= 5), "a number that is no thing's");

    const ThingInput turned{todo.thing.text, !todo.thing.done};
    const QDateTime now(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);
    const std::optional<QByteArray> written = todomapping::updated(ics, turned, 3, now);
    check(written.has_value(), "a to-do read but not writable");
    const todomapping::Reading back = todomapping::read(*written);
    const auto *again = std::get_if<todomapping::Todo>(&back);
    check(again, "a written to-do that cannot be read back");
    check(again->uid == todo.uid && again->thing == turned && again->number == 3, "the write lost the thing");
    return 0;
}
