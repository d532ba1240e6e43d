// The windows themselves on a large day book: the main window showing a day, the calendar
// opening and changing its month, and the search window answering keys. Real widgets on Qt's offscreen platform (unless QT_QPA_PLATFORM
// names another), so each figure includes the repaint that follows.
//
// "Instant" is read as 100 ms: about where a wait starts to be noticed.
#include "benchsupport.h"
#include "frm_date.h"
#include "frm_main.h"
#include "dayfile.h"
#include "fileops.h"
#include "frm_search.h"
#include "oledate.h"
#include "windowstand-ins.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QWindow>
#include <malloc.h>
#include <map>
#include <memory>
#include <optional>
#include <random>

using namespace bench;

namespace {

constexpr double ShowDayLimitMs = 1.0;
constexpr double InstantMs = 100.0;
constexpr double SearchKeyLimitMs = 16.0; // one frame at 60 Hz
constexpr double SearchMemoryLimitPercent = 10.0;
const QString Instant = QStringLiteral("100 ms (\"instant\")");

// A main window started on dayFile(records), as the program starts it, its clock then set to the
// book's last day. One per size for the whole run: the table is what costs memory.
struct Started
{
    explicit Started(const QString &path) : dayFile(ops, path) {}

    FileOps ops;
    SetTime time;
    SilentPrompts prompts;
    DayFile dayFile;
    frm_main window{dayFile, ops, time, prompts};
    QDate lastDay;
    QDate firstDay;
    double tableBytes = 0; // the heap the loaded day book takes
};

// The main window moves to day the one way it has.
void show(Started &s, QDate day)
{
    if (!s.window.goToDay(day)) {
        std::fprintf(stderr, "cannot show %s\n", qPrintable(day.toString(Qt::ISODate)));
        std::exit(1);
    }
}

// Bytes the C library has handed out, small blocks and mapped ones alike.
double heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd);
}

// Widgets must go before the application object does; main() clears this.
std::map<qint64, std::unique_ptr<Started>> windows;

Started &started(qint64 records)
{
    auto &s = windows[records];
    if (!s) {
        s = std::make_unique<Started>(dayFile(records));
        const double before = heapInUse();
        s->window.Form_Load();
        s->tableBytes = heapInUse() - before;
        const DayTable &table = s->dayFile.table();
        if (!s->window.lastLoad().ok() || table.DayCount() == 0) {
            std::fprintf(stderr, "cannot load the day file: %s\n", qPrintable(s->window.lastLoad().problem.describe()));
            std::exit(1);
        }
        s->firstDay = *oledate::toDate(table.thingDate(1));
        s->lastDay = *oledate::toDate(table.thingDate(table.DayCount()));
        s->time.setDay(s->lastDay);
        show(*s, s->lastDay);
        QCoreApplication::processEvents();
    }
    return *s;
}

// Days spread over the whole book, so that no run keeps showing one day that stays in the cache.
std::vector<QDate> daysToShow(const Started &s, size_t count)
{
    std::mt19937_64 engine(11);
    const auto span = quint64(s.firstDay.daysTo(s.lastDay) + 1);
    std::vector<QDate> days(count);
    for (QDate &d : days)
        d = s.firstDay.addDays(qint64(engine() % span));
    return days;
}

// What the calendar button does, up to the window being drawn; the window is closed unmeasured.
// Nothing when the window was never exposed: the figure would then leave out the drawing.
std::optional<double> openCalendar(Started &s, double *builtMs = nullptr)
{
    const auto start = Clock::now();
    frm_date *calendar = frm_date::open(s.dayFile.table(), s.time, s.window);
    if (builtMs)
        *builtMs = msSince(start);
    QCoreApplication::processEvents(); // the expose, layout and paint of the new window
    const double ms = msSince(start);
    const bool drawn = calendar->windowHandle() && calendar->windowHandle()->isExposed();
    calendar->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    return drawn ? std::optional<double>(ms) : std::nullopt;
}

// --- The main window ------------------------------------------------------------------------------

void BM_WindowShowDay(benchmark::State &state)
{
    Started &s = started(state.range(0));
    const auto days = daysToShow(s, 4096);
    size_t next = 0;
    std::vector<double> times;
    for (auto _ : state) {
        const QDate day = days[next++ % days.size()];
        const auto start = Clock::now();
        show(s, day); // the shown day was not changed: nothing is written
        const double ms = msSince(start);
        times.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    show(s, s.lastDay);
    reportAgainst(state, median(times), ShowDayLimitMs, "ms", QStringLiteral("1 ms (median; window repainted)"));
}
BENCHMARK(BM_WindowShowDay)->Arg(1'000'000)->Arg(32'767)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The day shown right after the day file is read again (the test tools' open button), on a
// table nothing has touched since the load.
void BM_WindowShowFirstDayAfterLoad(benchmark::State &state)
{
    Started &s = started(state.range(0));
    std::vector<double> times, loads;
    for (auto _ : state) {
        auto start = Clock::now();
        const LoadReport report = s.dayFile.load();
        loads.push_back(msSince(start));
        if (!report.ok()) {
            state.SkipWithError(qPrintable(report.problem.describe()));
            return;
        }
        start = Clock::now();
        s.window.td_showday();
        const double ms = msSince(start);
        times.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    state.counters["load_ms"] = median(loads);
    reportAgainst(state, median(times), ShowDayLimitMs, "ms", QStringLiteral("1 ms (first day after a load)"));
}
BENCHMARK(BM_WindowShowFirstDayAfterLoad)->Arg(1'000'000)->Arg(32'767)->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(5);

// --- The calendar ---------------------------------------------------------------------------------

// The first opening in a process also pays for what Qt sets up once (fonts, styles); the program
// opens it after start-up, so that is measured in a fresh process of its own.
void BM_OpenCalendarFirstInProcess(benchmark::State &state)
{
    const QString path = dayFile(state.range(0));
    std::vector<double> firsts, seconds;
    QString error;
    for (auto _ : state) {
        const auto numbers = runProbe({QStringLiteral("calendar"), path}, &error);
        if (!numbers || numbers->size() != 2) {
            state.SkipWithError(error.isEmpty() ? "unexpected output from bench-probe" : qPrintable(error));
            return;
        }
        firsts.push_back((*numbers)[0]);
        seconds.push_back((*numbers)[1]);
        state.SetIterationTime((*numbers)[0] / 1000);
    }
    state.counters["second_ms"] = median(seconds);
    reportAgainst(state, median(firsts), InstantMs, "ms", Instant + QStringLiteral(", first opening after start-up"));
}
BENCHMARK(BM_OpenCalendarFirstInProcess)->Arg(1'000'000)->Arg(32'767)->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(5);

// Opening it again and again, on months spread over the book.
void BM_OpenCalendar(benchmark::State &state)
{
    Started &s = started(state.range(0));
    const auto days = daysToShow(s, 64);
    (void)openCalendar(s); // the first opening is the benchmark above
    size_t next = 0;
    std::vector<double> times, builds;
    for (auto _ : state) {
        show(s, days[next++ % days.size()]);
        double built = 0;
        const auto ms = openCalendar(s, &built);
        if (!ms) {
            state.SkipWithError("the calendar was not exposed");
            return;
        }
        times.push_back(*ms);
        builds.push_back(built);
        state.SetIterationTime(*ms / 1000);
    }
    show(s, s.lastDay);
    state.counters["built_ms"] = median(builds);
    reportAgainst(state, median(times), InstantMs, "ms", Instant + QStringLiteral(", built, shown and drawn"));
}
BENCHMARK(BM_OpenCalendar)->Arg(1'000'000)->Arg(32'767)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(40);

// Choosing another month in the open calendar's list.
void BM_CalendarChangeMonth(benchmark::State &state)
{
    Started &s = started(state.range(0));
    std::unique_ptr<frm_date> calendar(new frm_date(s.dayFile.table(), s.time, s.window));
    calendar->show();
    QCoreApplication::processEvents();
    auto *months = calendar->findChild<QComboBox *>(QStringLiteral("cbo_Month"));
    if (!months) {
        state.SkipWithError("the calendar has no month list");
        return;
    }
    int month = months->currentIndex();
    std::vector<double> times;
    for (auto _ : state) {
        month = (month + 5) % 12;
        const auto start = Clock::now();
        months->setCurrentIndex(month);
        QCoreApplication::processEvents();
        const double ms = msSince(start);
        times.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    reportAgainst(state, median(times), InstantMs, "ms", Instant + QStringLiteral(", another month drawn"));
}
BENCHMARK(BM_CalendarChangeMonth)->Arg(1'000'000)->Arg(32'767)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(40);

// --- The search window ----------------------------------------------------------------------------

// A search window over a started main window, shown; it notes when its list has been drawn.
class SearchWindow : public QObject
{
public:
    explicit SearchWindow(Started &s) : window(s.dayFile.table(), s.window)
    {
        query = window.findChild<QLineEdit *>(QStringLiteral("txt_query"));
        list = window.findChild<QListView *>(QStringLiteral("lst_results"));
        window.show();
        QCoreApplication::processEvents();
        if (list)
            list->viewport()->installEventFilter(this);
    }
    bool ok() const { return query && list && window.windowHandle() && window.windowHandle()->isExposed(); }

    // One key press that types ch, up to the list drawn anew; nothing when it was not drawn.
    std::optional<double> type(QChar ch)
    {
        drawn = false;
        const auto start = Clock::now();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(query, &press);
        for (int pass = 0; pass < 10 && !drawn; ++pass)
            QCoreApplication::processEvents();
        const double ms = msSince(start);
        return drawn ? std::optional<double>(ms) : std::nullopt;
    }
    void clear()
    {
        query->clear();
        QCoreApplication::processEvents();
    }
    int rows() const { return list->model()->rowCount(); }

    frm_search window;

private:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            drawn = true;
        return false;
    }

    QLineEdit *query = nullptr;
    QListView *list = nullptr;
    bool drawn = false;
};

// The first key of a query searches every record: single characters from the commonest to rare
// ones. The figure is the slowest character's median.
void BM_SearchFirstKey(benchmark::State &state)
{
    Started &s = started(state.range(0));
    SearchWindow search(s);
    if (!search.ok()) {
        state.SkipWithError("the search window was not shown");
        return;
    }
    const QString keys = QStringLiteral("ae1T买打书猫，Z");
    std::vector<std::vector<double>> times(size_t(keys.size()));
    size_t next = 0;
    qint64 rows = 0;
    for (auto _ : state) {
        const size_t k = next++ % size_t(keys.size());
        search.clear();
        const auto ms = search.type(keys[qsizetype(k)]);
        if (!ms) {
            state.SkipWithError("the list was not drawn");
            return;
        }
        times[k].push_back(*ms);
        rows += search.rows();
        state.SetIterationTime(*ms / 1000);
    }
    double slowest = 0, all = 0;
    std::vector<double> medians;
    for (const auto &t : times) {
        if (!t.empty())
            medians.push_back(median(t));
    }
    for (double m : medians) {
        slowest = std::max(slowest, m);
        all += m;
    }
    state.counters["mean_of_medians_ms"] = medians.empty() ? 0 : all / double(medians.size());
    reportAgainst(state, slowest, SearchKeyLimitMs, "ms",
                  QStringLiteral("16 ms, one frame (first key of a query, keystroke to list drawn; slowest of %1 keys)")
                      .arg(keys.size()));
}
BENCHMARK(BM_SearchFirstKey)->Arg(1'000'000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

// The keys after the first, which add to the query and look only among the earlier matches.
void BM_SearchNextKey(benchmark::State &state)
{
    Started &s = started(state.range(0));
    SearchWindow search(s);
    if (!search.ok()) {
        state.SkipWithError("the search window was not shown");
        return;
    }
    const QStringList queries{QStringLiteral("给妈妈打电话"), QStringLiteral("email Alice"), QStringLiteral("review PR"),
                              QStringLiteral("买生日礼物"), QStringLiteral("meeting 10:30")};
    qsizetype query = 0, at = 0;
    std::vector<double> times;
    double worst = 0;
    for (auto _ : state) {
        if (at == 0 || at >= queries[query].size()) { // a new query: its first key is not this figure
            query = (query + (at == 0 ? 0 : 1)) % queries.size();
            search.clear();
            (void)search.type(queries[query][0]);
            at = 1;
        }
        const auto ms = search.type(queries[query][at++]);
        if (!ms) {
            state.SkipWithError("the list was not drawn");
            return;
        }
        times.push_back(*ms);
        worst = std::max(worst, *ms);
        state.SetIterationTime(*ms / 1000);
    }
    state.counters["worst_ms"] = worst;
    reportAgainst(state, median(times), SearchKeyLimitMs, "ms",
                  QStringLiteral("16 ms, one frame (median of the keys after the first)"));
}
BENCHMARK(BM_SearchNextKey)->Arg(1'000'000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

// What the search window costs in memory beside the table: built, shown and filled with a query
// that matches a good part of the book.
void BM_SearchMemory(benchmark::State &state)
{
    Started &s = started(state.range(0));
    double bytes = 0;
    for (auto _ : state) {
        const double before = heapInUse();
        SearchWindow search(s);
        (void)search.type(u'e');
        bytes = heapInUse() - before;
    }
    state.counters["search_kB"] = bytes / 1e3;
    state.counters["table_MB"] = s.tableBytes / 1e6;
    reportAgainst(state, 100 * bytes / s.tableBytes, SearchMemoryLimitPercent, "%",
                  QStringLiteral("10 % of the table's own heap (search window built, filled)"));
}
BENCHMARK(BM_SearchMemory)->Arg(1'000'000)->Iterations(1);

QtMessageHandler qtMessages = nullptr;

// The offscreen platform warns about size hints for every window shown: noise around the figures.
void quietMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains(QLatin1StringView("propagateSizeHints")))
        qtMessages(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qtMessages = qInstallMessageHandler(quietMessages);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    windows.clear();
    return 0;
}
