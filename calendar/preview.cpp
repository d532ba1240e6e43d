#include "dayviewhost.h"
#include "frm_date.h"
#include "gbk.h"
#include "module_pub.h"
#include "oledate.h"
#include "timesource.h"

#include <QApplication>
#include <cstdio>

namespace {

class PrintingHost final : public DayViewHost
{
public:
    bool goToDay(QDate day) override
    {
        std::printf("picked %s\n", qPrintable(day.toString(Qt::ISODate)));
        return true;
    }
    void showMainWindow() override { QApplication::quit(); }
};

void add(Module_pub &pub, QDate day, int thingNo, const QString &text, bool done)
{
    DayRecord record;
    record.ThingNo = thingNo;
    record.ThingText = gbk::encode(text).value_or(QByteArray());
    record.Done = done ? -1 : 0;
    record.ThingDate = oledate::fromDate(day);
    pub.DayTable.append(record);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const SystemTime time;
    Module_pub pub(FileOps::system()); // nothing here writes
    pub.ShownDate = time.today();

    // A few days around today: finished, unfinished before and after today, and a long line.
    const QDate today = time.today();
    add(pub, today.addDays(-2), 1, QStringLiteral("交水电费"), true);
    add(pub, today.addDays(-2), 2, QStringLiteral("给妈妈打电话"), false);
    add(pub, today, 1, QStringLiteral("买菜"), true);
    add(pub, today, 2, QStringLiteral("写周报"), false);
    add(pub, today, 3, QStringLiteral("去银行办理信用卡的事情，顺便取钱"), false);
    add(pub, today.addDays(1), 5, QStringLiteral("看牙医"), false);
    add(pub, today.addDays(3), 1, QString(), true);
    for (int n = 1; n <= 5; ++n)
        add(pub, today.addDays(5), n, QStringLiteral("事情%1").arg(n), n % 2 == 0);

    PrintingHost host;
    frm_date::open(pub, time, host);
    return app.exec();
}
