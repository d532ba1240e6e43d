// The crash harness's child: saves days in a loop until it is killed, and tells the parent on
// stdout about every save that reported success. Also holds the day file's lock on request.
#include "dayfile.h"
#include "dayfilelock.h"
#include "fileops.h"
#include "oledate.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

// Unbuffered, so that a line is in the pipe before the next save begins.
void say(const QByteArray &line)
{
    const QByteArray out = line + '\n';
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, out.constData(), size_t(out.size()));
}

// A slow disk that takes at most a few bytes per write, so that a kill can fall between the
// writes of one save, as it can with any short write. (One whole write is never split by a kill.)
class ChunkedOps : public FileOps
{
public:
    explicit ChunkedOps(size_t chunk) : m_chunk(chunk) {}
    ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset) override
    {
        if (!m_chunk)
            return FileOps::pwrite(fd, buffer, count, offset);
        ::usleep(300);
        return FileOps::pwrite(fd, buffer, std::min(count, m_chunk), offset);
    }

private:
    size_t m_chunk;
};

int saveForever(const QString &path, quint32 seed, qint64 firstGeneration, size_t chunk, const QList<double> &days)
{
    ChunkedOps ops(chunk);
    DayFile file(ops, path);
    const DayTable &table = file.table();
    if (!file.load().ok())
        return 2;
    say("ready");
    QRandomGenerator random(seed);
    qint64 generation = firstGeneration;
    for (qsizetype next = 0;; ++generation) {
        // Every other save is the next day not yet in the file, so appends keep happening.
        double day = days.at(random.bounded(qint32(days.size())));
        while (next < days.size() && table.find(days.at(next), 1))
            ++next;
        if (next < days.size() && generation % 2 == 0)
            day = days.at(next);
        DayThings things;
        for (int i = 0; i < 5; ++i) {
            things[size_t(i)].text = QStringLiteral("g%1-%2").arg(generation).arg(i + 1);
            things[size_t(i)].done = (generation >> i) & 1;
        }
        if (file.saveDay(*oledate::toDate(day), things).allOnDisk())
            say(QByteArray::number(day) + ' ' + QByteArray::number(generation));
    }
}

int holdLock(const QString &path)
{
    FileOps ops;
    DayFileLock lock(ops, path);
    if (lock.acquire() != DayFileLock::Status::Locked) {
        say("busy " + QByteArray::number(lock.holderPid()));
        return 1;
    }
    say("locked");
    for (;;)
        ::pause();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 7 && args.at(1) == QLatin1String("save")) {
        QList<double> days;
        for (const QString &d : args.mid(6))
            days.append(d.toDouble());
        return saveForever(args.at(2), args.at(3).toUInt(), args.at(4).toLongLong(), args.at(5).toUInt(), days);
    }
    if (args.size() == 3 && args.at(1) == QLatin1String("lock"))
        return holdLock(args.at(2));
    std::fprintf(stderr, "usage: dayfile_saver save PATH SEED FIRST-GENERATION WRITE-SIZE DAY... | lock PATH\n");
    return 64;
}
