// bench-summary: the table of every figure beside its limit, from Google Benchmark JSON output.
//
//   bench-summary RESULTS.json...
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>
#include <algorithm>
#include <vector>

namespace {

const QStringList Reported = {QStringLiteral("figure"), QStringLiteral("limit"), QStringLiteral("ratio"),
                              QStringLiteral("met")};

// Counters are figures: three significant digits are all the noise allows.
QString number(double value)
{
    if (value != 0 && std::abs(value) < 0.1)
        return QString::number(value, 'g', 3);
    return QString::number(value, 'f', value < 10 ? 3 : value < 100 ? 2 : 1);
}

} // namespace

int main(int argc, char *argv[])
{
    QTextStream out(stdout);
    if (argc < 2) {
        QTextStream(stderr) << "usage: bench-summary RESULTS.json...\n";
        return 2;
    }
    std::vector<QStringList> rows = {
        {QStringLiteral("benchmark"), QStringLiteral("figure"), QStringLiteral("limit"), QStringLiteral("ratio"),
         QStringLiteral("met"), QStringLiteral("limit is"), QStringLiteral("also measured")}};
    QString machine;
    int missed = 0;
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) {
            QTextStream(stderr) << "bench-summary: cannot read " << file.fileName() << "\n";
            return 1;
        }
        const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        if (machine.isEmpty()) {
            const QJsonObject context = root.value(QStringLiteral("context")).toObject();
            machine = QStringLiteral("%1, %2 CPUs at %3 MHz")
                          .arg(context.value(QStringLiteral("host_name")).toString())
                          .arg(context.value(QStringLiteral("num_cpus")).toInt())
                          .arg(context.value(QStringLiteral("mhz_per_cpu")).toInt());
        }
        for (const QJsonValue &value : root.value(QStringLiteral("benchmarks")).toArray()) {
            const QJsonObject b = value.toObject();
            // "/iterations:7/manual_time" says how, not what.
            static const QRegularExpression How(QStringLiteral("/(iterations:\\d+|manual_time)"));
            const QString name = b.value(QStringLiteral("name")).toString().remove(How);
            if (b.value(QStringLiteral("error_occurred")).toBool()) {
                rows.push_back({name, QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"),
                                QStringLiteral("FAILED"), b.value(QStringLiteral("error_message")).toString(), {}});
                ++failed;
                continue;
            }
            if (!b.contains(QStringLiteral("figure")))
                continue;
            const QStringList label = b.value(QStringLiteral("label")).toString().split(QLatin1Char('|'));
            const QString unit = label.value(0);
            QStringList extra;
            for (auto it = b.begin(); it != b.end(); ++it) {
                // Google Benchmark's own keys are not counters; counters are the numbers it does not know.
                static const QStringList Own = {
                    QStringLiteral("family_index"), QStringLiteral("per_family_instance_index"),
                    QStringLiteral("repetitions"), QStringLiteral("repetition_index"), QStringLiteral("threads"),
                    QStringLiteral("iterations"), QStringLiteral("real_time"), QStringLiteral("cpu_time")};
                if (it.value().isDouble() && !Reported.contains(it.key()) && !Own.contains(it.key()))
                    extra << QStringLiteral("%1=%2").arg(it.key(), number(it.value().toDouble()));
            }
            const bool met = b.value(QStringLiteral("met")).toDouble() == 1;
            missed += met ? 0 : 1;
            rows.push_back({name, number(b.value(QStringLiteral("figure")).toDouble()) + QLatin1Char(' ') + unit,
                            number(b.value(QStringLiteral("limit")).toDouble()) + QLatin1Char(' ') + unit,
                            number(b.value(QStringLiteral("ratio")).toDouble()),
                            met ? QStringLiteral("met") : QStringLiteral("NOT MET"), label.value(1),
                            extra.join(QLatin1Char(' '))});
        }
    }

    std::vector<qsizetype> widths(rows.front().size(), 0);
    for (const QStringList &row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[size_t(c)] = std::max(widths[size_t(c)], row[c].size());
    }
    out << "Machine: " << machine << "\n"
        << "ratio = figure / limit; a figure is met when the ratio is at most 1.\n\n";
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c) {
            const bool numeric = c >= 1 && c <= 3;
            const QString cell = numeric ? row[c].rightJustified(widths[size_t(c)])
                                         : row[c].leftJustified(widths[size_t(c)]);
            line += cell + QStringLiteral("  ");
        }
        out << line.trimmed() << "\n";
    }
    out << "\n" << (rows.size() - 1 - failed - missed) << " met, " << missed << " not met, " << failed
        << " failed.\n";
    return failed > 0 ? 1 : 0;
}
