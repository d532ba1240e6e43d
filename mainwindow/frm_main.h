#pragma once

#include "daycommands.h"
#include "dayfilehome.h"
#include "dayview.h"
#include "dayviewhost.h"
#include "devtools.h"
#include "frm_about.h"
#include "shownday.h"

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

class AboutBox;
class ClickableLabel;
class DayFile;
class DaySurface;
class FileOps;
class MarkImage;
class Prompts;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class ThingEdit;
class TimeSource;
class frm_clock;
class frm_search;
class WindowSync;

// The main window: a view of the shown day (ShownDay holds its rules) with its five things,
// the navigation between days and the day commands. The boxes and marks hold the working copy
// of the shown day while the user edits.
class frm_main : public QMainWindow, public DayViewHost, private DayView
{
    Q_OBJECT

public:
    frm_main(DayFile &dayFile, FileOps &ops, const TimeSource &time, Prompts &prompts,
             MailOpener openMail = defaultMailOpener(), QWidget *parent = nullptr);
    ~frm_main() override;

    // The sync with a calendar server, in the edit menu, before Form_Load: it starts when the
    // window has started. make loads it (nothing when it cannot, the user told): at once when a
    // sync is set up for the day file, otherwise when the user opens its settings.
    using SyncMaker = std::function<std::unique_ptr<WindowSync>(ShownDay &, const TimeSource &, Prompts &)>;
    void attachSync(SyncMaker make, bool setUp);
    WindowSync *sync() const { return m_sync.get(); }

    // Where the day file is kept and how it moves; without it, a move changes no setting.
    void setDayFileHome(DayFileHome home) { m_home = std::move(home); }

    // Start-up: frames, today and the day file, then the window with the caret in box 1, then
    // what start-up found told.
    void Form_Load();

    // The day view, as the calendar and start-up know it.
    void td_clear();
    void td_showday() { m_day.showWhatTheBookHolds(); }
    void td_caption() { m_day.showCaption(); }
    void draw_frame(QWidget *control);
    // Writes the shown day into the day book; tells nothing.
    [[nodiscard]] SaveReport td_save() { return m_day.save(); }

    [[nodiscard]] bool goToDay(QDate day) override;
    QDate shownDate() const override { return m_day.shownDate(); }
    DayThings shownThings() const override { return viewThings(); }
    void selectInThing(int thingNo, qsizetype first, qsizetype count) override;
    void showMainWindow() override;

    // The end of the session (a signal, the session manager): writes the shown day as closing
    // the window does, but asks nothing, then ends the program.
    void endSession();
    bool isEnding() const { return m_day.isEnding(); }

    bool isDirty() const { return m_day.isDirty(); }
    const LoadReport &lastLoad() const { return m_day.lastLoad(); }
    const ShownDay &shownDay() const { return m_day; }
    DevTools &devTools() { return m_devTools; }

signals:
    // The day file and what belongs to it moved (编辑 → 日程文件位置…); the program starts again on
    // the new path right after. For what is kept by the day file's path elsewhere.
    void dayFileMoved(const QString &oldPath, const QString &newPath);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // DayView: what the controller reads from and shows in the window.
    DayThings viewThings() const override;
    void showThings(const DayThings &things) override;
    void showCaption(const QString &caption) override;
    void beep() override;
    void setReadOnly(bool readOnly) override;
    // The edit menu's items as the shown day allows them: undo, the things waiting for a choice
    // between two versions, and nothing that writes when the day file is only read.
    void refreshCommands();

    void buildControls();
    void buildMenus();
    void connectHandlers();
    void buildKeyboardAndNames();
    void describeMark(int index);
    void centreOnScreen();
    void setMark(int index, bool done);
    bool isDone(int index) const;

    // Handlers.
    void txt_things_Change(int index);
    void txt_things_Enter(int index);
    void img_thingOK_Click(int index);
    void cmd_lastday_Click();
    void cmd_nextday_Click();
    void lbl_returntoday_Click();
    void cmd_select_Click();
    void menu_copytonextday_Click();
    void menu_clearthisday_Click();
    void menu_about_Click();
    void menu_undo_Click();
    void menu_conflicts_Click();
    void cmd_edit_Click();
    void Command3_Click();
    void Command1_Click();
    void Command2_Click();
    void showSearch();
    void menu_syncsettings_Click();
    void menu_syncnow_Click();
    void showSyncState();
    bool loadSync();
    void menu_dayfilelocation_Click();
    void moveDayFileTo(const QString &folder);
    // The day file is at newPath now: this program writes nothing more and hands over to a new start.
    void leaveForMovedDayFile(const QString &newPath, const QStringList &leftBehind);

    const TimeSource &m_time;
    Prompts &m_prompts;
    FileOps &m_ops;
    DayFileHome m_home = DayFileHome::forThisProgram(nullptr);
    bool m_movedAway = false; // the day file moved: closing writes nothing
    ShownDay m_day;
    DayCommands m_commands;
    DevTools m_devTools;
    std::unique_ptr<AboutBox> m_about;
    QPointer<frm_clock> m_clock;
    QPointer<frm_search> m_search;
    SyncMaker m_makeSync;
    std::unique_ptr<WindowSync> m_sync;

    static inline const QString DesignHint = QStringLiteral("写下一件重要的事"); // box 1 before any day is shown
    static inline const QString Title = QStringLiteral("Tallyleaf V0.01");
    bool m_designShown = true; // the view still shows the design's texts: nothing was loaded

    DaySurface *m_surface = nullptr;
    QLabel *Image4 = nullptr;
    QLabel *lbl_today = nullptr;
    ClickableLabel *lbl_returntoday = nullptr;
    QPushButton *cmd_lastday = nullptr;
    QPushButton *cmd_select = nullptr;
    QPushButton *cmd_nextday = nullptr;
    std::array<MarkImage *, 5> img_thingOK{};
    std::array<QLabel *, 5> Label1{};
    std::array<ThingEdit *, 5> txt_things{};
    QLabel *img_check = nullptr;
    QLabel *img_checkOK = nullptr;
    QPushButton *cmd_edit = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *cmd_Clear = nullptr;
    QPushButton *cmd_Save = nullptr;
    QPushButton *cmd_Open = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;

    QMenu *menu_edit = nullptr;
    QAction *menu_copytonextday = nullptr;
    QAction *menu_clearthisday = nullptr;
    QAction *menu_save = nullptr;
    QAction *menu_about = nullptr;
    QAction *menu_find = nullptr;
    QAction *menu_undo = nullptr;
    QAction *menu_conflicts = nullptr; // shown while things wait for a choice between two versions
    QAction *menu_dayfilelocation = nullptr;
    QAction *menu_syncsettings = nullptr;
    QAction *menu_syncnow = nullptr;

    // The two shared pictures; every mark shows one of these very objects.
    QPixmap m_notDonePicture;
    QPixmap m_donePicture;
};
