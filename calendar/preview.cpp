#include "dayfile.h"
#include "dayviewhost.h"
#include "fileops.h"
#include "frm_date.h"
#include "timesource.h"

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>

namespace {

class PrintingHost final : public DayViewHost
{
public:
    explicit PrintingHost(QDate shown) : m_shown(shown) {}
    bool goToDay(QDate day) override
    {
        std::printf("picked %s\n", qPrintable(day.toString(Qt::ISODate)));
        return true;
    }
    QDate shownDate() const override { return m_shown; }
    DayThings shownThings() const override { return {}; }
    void selectInThing(int, qsizetype, qsizetype) override {}
    void showMainWindow() override { QApplication::quit(); }

private:
    QDate m_shown;
};

void add(DayFile &dayFile, QDate day, int thingNo, const QString &text, bool done)
{
    DayThings things = thingsOfDay(dayFile.table(), day);
    things[size_t(thingNo - 1)] = {text, done};
    if (!dayFile.saveDay(day, things).allOnDisk())
        std::fprintf(stderr, "calendar-preview: %s was not saved\n", qPrintable(day.toString(Qt::ISODate)));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const SystemTime time;
    // A day book of its own in a scratch folder, gone when the preview ends.
    QTemporaryDir scratch;
    FileOps ops;
    DayFile dayFile(ops, scratch.filePath(QStringLiteral("things.dat")));
    if (!dayFile.load().ok())
        return 1;

    // A few days around today: finished, unfinished before and after today, and a long line.
    const QDate today = time.today();
    add(dayFile, today.addDays(-2), 1, QStringLiteral("交水电费"), true);
    add(dayFile, today.addDays(-2), 2, QStringLiteral("给妈妈打电话"), false);
    add(dayFile, today, 1, QStringLiteral("买菜"), true);
    add(dayFile, today, 2, QStringLiteral("写周报"), false);
    add(dayFile, today, 3, QStringLiteral("去银行办理信用卡的事情，顺便取钱"), false);
    add(dayFile, today.addDays(1), 5, QStringLiteral("看牙医"), false);
    add(dayFile, today.addDays(3), 1, QString(), true);
    for (int n = 1; n <= 5; ++n)
        add(dayFile, today.addDays(5), n, QStringLiteral("事情%1").arg(n), n % 2 == 0);

    PrintingHost host(today);
    frm_date::open(dayFile.table(), time, host);
    return app.exec();
}
