#include "benchsupport.h"

#include "dayfile.h"
#include "fileops.h"
#include "dayfilegen.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/vfs.h>
#include <unistd.h>

namespace bench {

QString dataDir()
{
    static const QString dir = [] {
        const QString given = qEnvironmentVariable("TALLYLEAF_BENCH_DIR");
        if (!given.isEmpty()) {
            QDir().mkpath(given);
            return given;
        }
        static QTemporaryDir own(QDir(QStringLiteral("/var/tmp")).exists()
                                     ? QStringLiteral("/var/tmp/tallyleaf-bench-XXXXXX")
                                     : QDir::currentPath() + QStringLiteral("/tallyleaf-bench-XXXXXX"));
        if (!own.isValid()) {
            std::fprintf(stderr, "cannot create a directory for the day files: %s\n", qPrintable(own.errorString()));
            std::exit(1);
        }
        return own.path();
    }();
    return dir;
}

bool onTmpfs(const QString &path)
{
    struct statfs fs;
    constexpr long TmpfsMagic = 0x01021994;
    return ::statfs(QFile::encodeName(path).constData(), &fs) == 0 && long(fs.f_type) == TmpfsMagic;
}

QString dayFile(qint64 records)
{
    const QString path = dataDir() + QStringLiteral("/things-%1.dat").arg(records);
    if (QFileInfo(path).size() != records * 200 || !QFileInfo::exists(path)) {
        const auto result = dayfilegen::writeDayFile(path, records);
        if (!result.ok) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(result.error));
            std::exit(1);
        }
    }
    return path;
}

const DayTable &loadedTable(qint64 records)
{
    static FileOps ops;
    static std::map<qint64, std::unique_ptr<DayFile>> files;
    auto &file = files[records];
    if (!file) {
        file = std::make_unique<DayFile>(ops, dayFile(records));
        const auto report = file->load();
        if (!report.ok()) {
            std::fprintf(stderr, "cannot load the day file: %s\n", qPrintable(report.problem.describe()));
            std::exit(1);
        }
    }
    return file->table();
}

qint64 plainRead(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const qint64 size = ::lseek(fd, 0, SEEK_END);
    std::unique_ptr<char[]> buffer(new char[size_t(size)]);
    const ssize_t n = ::pread(fd, buffer.get(), size_t(size), 0);
    ::close(fd);
    benchmark::DoNotOptimize(buffer.get());
    return n == size ? n : -1;
}

std::optional<std::vector<double>> runProbe(const QStringList &args, QString *error)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("DISPLAY")) && !env.contains(QStringLiteral("WAYLAND_DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(BENCH_PROBE), args);
    if (!process.waitForFinished(300'000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *error = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        if (error->isEmpty())
            *error = process.errorString();
        return std::nullopt;
    }
    std::vector<double> numbers;
    for (const QByteArray &field : process.readAllStandardOutput().simplified().split(' ')) {
        bool ok = false;
        numbers.push_back(field.toDouble(&ok));
        if (!ok) {
            *error = QStringLiteral("bench-probe printed something that is not a number");
            return std::nullopt;
        }
    }
    return numbers;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

void reportAgainst(benchmark::State &state, double figure, double limit, const char *unit, const QString &against)
{
    state.counters["figure"] = figure;
    state.counters["limit"] = limit;
    state.counters["ratio"] = limit > 0 ? figure / limit : 0;
    state.counters["met"] = figure <= limit ? 1 : 0;
    state.SetLabel(QStringLiteral("%1|%2").arg(QLatin1StringView(unit), against).toStdString());
}

int runBenchmarks(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace bench
