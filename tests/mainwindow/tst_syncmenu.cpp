// The sync in the edit menu: it is loaded at start-up only when one is set up, otherwise the first
// time the user opens its settings; one that cannot be loaded leaves the menu as it was.
#include "mainwindowfixture.h"
#include "windowsync.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QTimer>

namespace {

class FakeSync final : public WindowSync
{
public:
    explicit FakeSync(bool setUp) : m_setUp(setUp) {}
    int starts = 0;
    int syncs = 0;
    std::function<void()> changed;

    void start() override { ++starts; }
    bool isSetUp() const override { return m_setUp; }
    QUrl url() const override { return {}; }
    QString user() const override { return {}; }
    bool setUp(const QUrl &, const QString &, const QString &) override { return true; }
    int sinceDays() const override { return 365; }
    bool setRange(int) override { return true; }
    void syncNow() override
    {
        ++syncs;
        m_status = QStringLiteral("10:42 已同步");
        changed();
    }
    bool stop() override { return false; }
    void dayFileMoved(const QString &) override {}
    State state() const override { return State::InStep; }
    QString status() const override { return m_status; }
    QString details() const override { return {}; }
    bool keepsPasswords() const override { return false; }
    void setOnStateChanged(std::function<void()> onChange) override { changed = std::move(onChange); }

private:
    bool m_setUp;
    QString m_status;
};

// Closes every settings dialog as soon as it shows, and counts them.
struct DialogCloser
{
    DialogCloser()
    {
        timer.callOnTimeout([this] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                ++shown;
                dialog->reject();
            }
        });
        timer.start(0);
    }
    QTimer timer;
    int shown = 0;
};

} // namespace

class tst_SyncMenu : public QObject
{
    Q_OBJECT

private slots:
    void theSyncIsLoadedWhenItIsNeeded_data()
    {
        QTest::addColumn<bool>("setUp");
        QTest::addColumn<bool>("loads");    // the plugin can be loaded
        QTest::addColumn<int>("atStart");   // syncs made at start-up
        QTest::addColumn<int>("made");      // after 立即同步 and 同步设置…
        QTest::addColumn<int>("dialogs");
        QTest::newRow("set up: loaded at once, synced by hand") << true << true << 1 << 1 << 1;
        QTest::newRow("not set up: loaded by the settings, once") << false << true << 0 << 1 << 2;
        QTest::newRow("cannot be loaded: no dialog, tried again") << false << false << 0 << 2 << 0;
    }
    void theSyncIsLoadedWhenItIsNeeded()
    {
        QFETCH(bool, setUp);
        QFETCH(bool, loads);
        MainWindowFixture f;
        int made = 0;
        FakeSync *sync = nullptr;
        f.window.attachSync([&](ShownDay &, const TimeSource &, Prompts &) -> std::unique_ptr<WindowSync> {
            ++made;
            if (!loads)
                return nullptr;
            auto fake = std::make_unique<FakeSync>(setUp);
            sync = fake.get();
            return fake;
        }, setUp);
        QTEST(made, "atStart");
        DialogCloser closer;
        auto *syncNow = f.window.findChild<QAction *>(QStringLiteral("menu_syncnow"));
        syncNow->trigger(); // without an account: the settings
        f.window.findChild<QAction *>(QStringLiteral("menu_syncsettings"))->trigger();
        QTEST(made, "made");
        QTEST(closer.shown, "dialogs");
        if (!sync) {
            QCOMPARE(syncNow->text(), QStringLiteral("立即同步"));
            return;
        }
        QCOMPARE(sync->starts, setUp ? 0 : 1); // Form_Load starts one loaded before it
        QCOMPARE(sync->syncs, setUp ? 1 : 0);
        if (setUp)
            QCOMPARE(syncNow->text(), QStringLiteral("立即同步（10:42 已同步）"));
    }
};

QTEST_MAIN(tst_SyncMenu)
#include "tst_syncmenu.moc"
