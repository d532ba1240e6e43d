// bench-probe: one measurement in a process of its own, so that what earlier measurements left
// behind (allocator pools, pages already faulted in) is not counted. Start-up is such a process.
//
//   bench-probe rss core|window [DAYFILE]  "<VmRSS kB> <VmHWM kB> <records>" after starting Qt
//                                          (Qt Core, or a bare top-level widget shown) and loading
//                                          DAYFILE and showing its last day, if given
//   bench-probe load DAYFILE               "<ms> <records>": DayFile::load into a fresh table
//   bench-probe read FILE                  "<ms> <ms again>": one read of the whole file into a
//                                          freshly allocated buffer, then again into the same one
//   bench-probe calendar DAYFILE           "<ms> <ms again>": the main window started on DAYFILE,
//                                          then the calendar opened and drawn, twice
#include "dayfile.h"
#include "frm_date.h"
#include "frm_main.h"
#include "fileops.h"
#include "oledate.h"
#include "windowstand-ins.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

qint64 statusField(const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

int usage()
{
    std::fprintf(stderr, "usage: bench-probe rss core|window [DAYFILE] | load DAYFILE | read FILE | calendar DAYFILE\n");
    return 2;
}

int residentMemory(int argc, char *argv[])
{
    const QByteArray mode = argv[2];
    std::unique_ptr<QCoreApplication> app;
    std::unique_ptr<QWidget> window;
    if (mode == "window") {
        app = std::make_unique<QApplication>(argc, argv);
        window = std::make_unique<QWidget>();
        window->show();
        QCoreApplication::processEvents();
    } else if (mode == "core") {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        return usage();
    }

    FileOps ops;
    DayFile dayFile(ops, argc == 4 ? QString::fromLocal8Bit(argv[3]) : QString());
    if (argc == 4) {
        const LoadReport report = dayFile.load();
        if (!report.ok()) {
            std::fprintf(stderr, "bench-probe: %s\n", qPrintable(report.problem.describe()));
            return 1;
        }
        // Start-up shows a day next, which builds the table's index.
        const qint32 count = dayFile.table().DayCount();
        if (count > 0)
            dayFile.table().recordsOfDay(dayFile.table().thingDate(count));
    }
    std::printf("%lld %lld %d\n", statusField("VmRSS"), statusField("VmHWM"), dayFile.table().DayCount());
    return 0;
}

int timeLoad(const char *path)
{
    FileOps ops;
    DayFile file(ops, QString::fromLocal8Bit(path));
    const auto start = Clock::now();
    const LoadReport report = file.load();
    const double ms = msSince(start);
    if (!report.ok()) {
        std::fprintf(stderr, "bench-probe: %s\n", qPrintable(report.problem.describe()));
        return 1;
    }
    std::printf("%.4f %d\n", ms, report.recordsRead);
    return 0;
}

int timeRead(const char *path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror("bench-probe");
        return 1;
    }
    const off_t size = ::lseek(fd, 0, SEEK_END);
    auto start = Clock::now();
    std::unique_ptr<char[]> buffer(new char[size_t(size)]);
    const ssize_t n = ::pread(fd, buffer.get(), size_t(size), 0);
    const double fresh = msSince(start);
    start = Clock::now();
    const ssize_t again = ::pread(fd, buffer.get(), size_t(size), 0);
    const double warm = msSince(start);
    ::close(fd);
    if (n != size || again != size) {
        std::fprintf(stderr, "bench-probe: short read of %s\n", path);
        return 1;
    }
    std::printf("%.4f %.4f\n", fresh, warm);
    return 0;
}

int timeCalendar(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FileOps ops;
    DayFile dayFile(ops, QString::fromLocal8Bit(argv[2]));
    SetTime time; // set to the book's last day once it is loaded, so the calendar opens on things
    SilentPrompts prompts;
    frm_main window(dayFile, ops, time, prompts);
    window.Form_Load();
    const qint32 count = dayFile.table().DayCount();
    if (!window.lastLoad().ok() || count == 0) {
        std::fprintf(stderr, "bench-probe: cannot load %s\n", argv[2]);
        return 1;
    }
    const QDate lastDay = oledate::toDate(dayFile.table().thingDate(count)).value_or(QDate::currentDate());
    time.setDay(lastDay);
    if (!window.goToDay(lastDay))
        return 1;
    QCoreApplication::processEvents();

    double ms[2];
    for (double &m : ms) {
        const auto start = Clock::now();
        frm_date *calendar = frm_date::open(dayFile.table(), time, window);
        QCoreApplication::processEvents();
        m = msSince(start);
        calendar->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::printf("%.4f %.4f\n", ms[0], ms[1]);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3)
        return usage();
    const QByteArray command = argv[1];
    if (command == "rss" && argc <= 4)
        return residentMemory(argc, argv);
    if (command == "load" && argc == 3)
        return timeLoad(argv[2]);
    if (command == "read" && argc == 3)
        return timeRead(argv[2]);
    if (command == "calendar" && argc == 3)
        return timeCalendar(argc, argv);
    return usage();
}
