#pragma once

#include "dayfile.h"
#include "dayviewhost.h"
#include "frm_about.h"

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <array>
#include <memory>

class AboutBox;
class ClickableLabel;
class DaySurface;
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
struct Module_pub;

// The main window: one day's five things, navigation between days, the day commands.
// The view is the working copy of the shown day; td_save writes it into the day book.
class frm_main : public QMainWindow, public DayViewHost
{
    Q_OBJECT

public:
    frm_main(Module_pub &pub, const TimeSource &time, Prompts &prompts, MailOpener openMail = defaultMailOpener(),
             QWidget *parent = nullptr);
    ~frm_main() override;

    // Start-up: frames, day file, today, the view, then the window with the caret in box 1.
    void Form_Load();

    // The day view.
    void td_clear();
    void td_showday();
    void td_caption();
    void draw_frame(QWidget *control);

    // The day file, gathered from and shown in the view. td_save writes the shown day and clears
    // Dirty when the day book took it; it tells the user nothing (see writeShownDay).
    [[nodiscard]] SaveReport td_save();
    [[nodiscard]] LoadReport td_load();

    [[nodiscard]] bool goToDay(QDate day) override;
    QDate shownDate() const override;
    void showMainWindow() override;

    // The end of the session (a signal, the session manager): writes the shown day as closing
    // the window does, but asks nothing, then ends the program.
    void endSession();

    // The developer tools' bulk file; a temporary file unless a test says otherwise.
    void setBulkFilePath(const QString &path) { m_bulkFilePath = path; }

    bool isDirty() const { return Dirty; }
    const LoadReport &lastLoad() const { return m_lastLoad; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void connectHandlers();
    void buildKeyboardAndNames();
    void describeMark(int index);
    void centreOnScreen();
    void setMark(int index, bool done);
    bool isDone(int index) const;
    DayThings viewThings() const;
    // Saves and their follow-ups: a day file deleted or replaced behind the program's back.
    [[nodiscard]] SaveReport heeded(SaveReport report);
    [[nodiscard]] SaveReport saveThings(QDate day, const DayThings &things);
    [[nodiscard]] SaveReport flushHeldBack();
    // td_save, and the user told what went wrong; true when the day book took the day.
    [[nodiscard]] bool writeShownDay();
    // Tells the user what a save of things did, a disk failure only once until a save succeeds
    // (every time when byHand); true when the day book took the day.
    [[nodiscard]] bool tell(const SaveReport &report, const DayThings &things, bool byHand = false);
    [[nodiscard]] bool moveTo(QDate day, const DayThings *carried);
    void saveByHand();
    QString refusalText(const SaveReport &report, const DayThings &things) const;
    QString diskTroubleText(const SaveReport &report) const;

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
    void cmd_edit_Click();
    void Command3_Click();
    void Command1_Click();
    void Command2_Click();
    void showSearch();

    Module_pub &m_pub;
    const TimeSource &m_time;
    Prompts &m_prompts;
    std::unique_ptr<AboutBox> m_about;
    QPointer<frm_clock> m_clock;
    QPointer<frm_search> m_search;
    LoadReport m_lastLoad;
    QString m_bulkFilePath;

    static inline const QString DesignHint = QStringLiteral("写下一件重要的事"); // box 1 before any day is shown

    bool Dirty = false;
    bool m_designShown = true;      // the view still shows the design's texts: nothing was loaded
    bool m_diskTroubleTold = false; // a disk failure was reported and no save has reached the disk since
    bool m_ending = false;          // the session ends: closing asks nothing

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

    // The two shared pictures; every mark shows one of these very objects.
    QPixmap m_notDonePicture;
    QPixmap m_donePicture;
};
