#include "frm_clock.h"
#include "timesource.h"

#include <QApplication>
#include <QTime>

namespace {

// Runs from the time given on the command line, so any hand position can be looked at.
class PreviewTime final : public TimeSource
{
public:
    explicit PreviewTime(const QTime &start)
        : m_offset(start.isValid() ? QTime::currentTime().msecsTo(start) : 0) {}
    QDateTime now() const override { return QDateTime::currentDateTime().addMSecs(m_offset); }

private:
    qint64 m_offset;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const PreviewTime time(args.size() > 1 ? QTime::fromString(args.at(1), QStringLiteral("HH:mm:ss")) : QTime());
    auto *clock = new frm_clock(time);
    clock->show();
    return app.exec();
}
