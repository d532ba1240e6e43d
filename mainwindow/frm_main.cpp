#include "frm_main.h"

#include "aboutbox.h"
#include "artwork.h"
#include "clickablelabel.h"
#include "daysurface.h"
#include "fonts.h"
#include "frm_clock.h"
#include "frm_search.h"
#include "markimage.h"
#include "thingedit.h"
#include "units.h"
#include "windowsync.h"

#include <QApplication>
#include <QDir>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

namespace {

// The client area below the menu bar, in twips.
constexpr double ClientWidth = 12105, ClientHeight = 6060;

// Rows of the five things: tops of the marks, and of the numbers and boxes, in twips.
constexpr double MarkTop = 960, BoxTop = 1320, RowStep = 960;

template <typename W>
W *place(W *widget, double left, double top, double width, double height)
{
    widget->setGeometry(units::twipsRect(left, top, width, height));
    return widget;
}

QPushButton *pushButton(QWidget *parent, const QString &caption, const char *name)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setFont(fonts::windowDefault());
    return b;
}

} // namespace

frm_main::frm_main(DayFile &dayFile, FileOps &ops, const TimeSource &time, Prompts &prompts, MailOpener openMail,
                   QWidget *parent)
    : QMainWindow(parent), m_time(time), m_prompts(prompts), m_ops(ops), m_day(dayFile, ops, time, prompts, *this),
      m_commands(m_day, prompts), m_devTools(ops, time), m_about(std::make_unique<AboutBox>(std::move(openMail)))
{
    setObjectName(QStringLiteral("frm_main"));
    setWindowTitle(Title);
    setWindowIcon(artwork::programIcon());
    setFont(fonts::windowDefault());

    buildControls();
    buildMenus();
    connectHandlers();
    buildKeyboardAndNames();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

frm_main::~frm_main() = default;

void frm_main::buildControls()
{
    m_surface = new DaySurface(this);
    m_surface->setObjectName(QStringLiteral("surface"));
    m_surface->setFixedSize(units::twipsRect(0, 0, ClientWidth, ClientHeight).size());
    QPalette white = m_surface->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    m_surface->setPalette(white);
    setCentralWidget(m_surface);

    m_notDonePicture = artwork::picture(artwork::Check);
    m_donePicture = artwork::picture(artwork::CheckOk);

    Image4 = place(new QLabel(m_surface), 360, 120, 2730, 660);
    Image4->setObjectName(QStringLiteral("Image4"));
    Image4->setPixmap(artwork::picture(artwork::Banner));

    lbl_today = place(new QLabel(QStringLiteral("今天："), m_surface), 3840, 120, 4455, 495);
    lbl_today->setObjectName(QStringLiteral("lbl_today"));
    lbl_today->setFont(fonts::font(fonts::Face::MicrosoftYaHei, 15.75));

    lbl_returntoday = place(new ClickableLabel(QStringLiteral("返回今天"), m_surface), 6600, 480, 855, 255);
    lbl_returntoday->setObjectName(QStringLiteral("lbl_returntoday"));
    lbl_returntoday->setFont(fonts::font(fonts::Face::SimSun, 9, QFont::Normal, true));
    lbl_returntoday->setForegroundRole(QPalette::Highlight);
    lbl_returntoday->setCursor(Qt::PointingHandCursor);

    cmd_lastday = place(pushButton(m_surface, QStringLiteral("< 前一天\u3000"), "cmd_lastday"), 7440, 120, 1335, 615);
    cmd_select = place(pushButton(m_surface, QStringLiteral("日 历\u3000"), "cmd_select"), 8880, 120, 1335, 615);
    cmd_nextday = place(pushButton(m_surface, QStringLiteral("后一天 >\u3000"), "cmd_nextday"), 10320, 120, 1335, 615);

    const QFont numberFont = fonts::font(fonts::Face::SimSun, 15.75);
    const QFont thingFont = fonts::font(fonts::Face::SimSun, 12);
    const QString numbers[5] = {QStringLiteral("①"), QStringLiteral("②"), QStringLiteral("③"), QStringLiteral("④"),
                                QStringLiteral("⑤")};
    for (int i = 0; i < 5; ++i) {
        img_thingOK[i] = place(new MarkImage(m_surface), 360, MarkTop + i * RowStep, 990, 900);
        img_thingOK[i]->setObjectName(QStringLiteral("img_thingOK_%1").arg(i));
        img_thingOK[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        img_thingOK[i]->setPixmap(m_notDonePicture);

        Label1[i] = place(new QLabel(numbers[i], m_surface), 1440, BoxTop + i * RowStep, 495, 495);
        Label1[i]->setObjectName(QStringLiteral("Label1_%1").arg(i));
        Label1[i]->setFont(numberFont);

        txt_things[i] = place(new ThingEdit(m_surface), 2040, BoxTop + i * RowStep, 9600, 615);
        txt_things[i]->setObjectName(QStringLiteral("txt_things_%1").arg(i));
        txt_things[i]->setFont(thingFont);
        QPalette p = txt_things[i]->palette();
        p.setColor(QPalette::Base, Qt::white);
        p.setColor(QPalette::Text, Qt::black);
        txt_things[i]->setPalette(p);
    }
    img_thingOK[0]->setToolTip(QStringLiteral("点击标注完成"));
    txt_things[0]->setThingText(DesignHint);

    img_check = new QLabel(m_surface);
    img_check->setObjectName(QStringLiteral("img_check"));
    img_check->setPixmap(m_notDonePicture);
    img_check->hide();
    img_checkOK = new QLabel(m_surface);
    img_checkOK->setObjectName(QStringLiteral("img_checkOK"));
    img_checkOK->setPixmap(m_donePicture);
    img_checkOK->hide();

    // Hidden in the shipped layout; their commands are still wired.
    cmd_edit = place(pushButton(m_surface, QStringLiteral("+"), "cmd_edit"), 11520, 1440, 375, 375);
    Command3 = place(pushButton(m_surface, QStringLiteral("Clock"), "Command3"), 5520, 480, 975, 375);
    cmd_Clear = place(pushButton(m_surface, QStringLiteral("清空全部（测试用）"), "cmd_Clear"), 10680, 2040, 1935, 495);
    cmd_Save = place(pushButton(m_surface, QStringLiteral("保存（测试用）"), "cmd_Save"), 10680, 2640, 1935, 495);
    cmd_Open = place(pushButton(m_surface, QStringLiteral("打开文件（测试用）"), "cmd_Open"), 10680, 3480, 1935, 495);
    Command1 = place(pushButton(m_surface, QStringLiteral("Open 100000条"), "Command1"), 10800, 4560, 2175, 375);
    Command2 = place(pushButton(m_surface, QStringLiteral("Save 100000条"), "Command2"), 10800, 5160, 2175, 375);
    for (QWidget *hidden : {static_cast<QWidget *>(cmd_edit), static_cast<QWidget *>(Command3),
                            static_cast<QWidget *>(cmd_Clear), static_cast<QWidget *>(cmd_Save),
                            static_cast<QWidget *>(cmd_Open), static_cast<QWidget *>(Command1),
                            static_cast<QWidget *>(Command2)})
        hidden->hide();

    QWidget::setTabOrder(txt_things[0], txt_things[1]);
    QWidget::setTabOrder(txt_things[1], txt_things[2]);
    QWidget::setTabOrder(txt_things[2], txt_things[3]);
    QWidget::setTabOrder(txt_things[3], txt_things[4]);
    QWidget::setTabOrder(txt_things[4], cmd_lastday);
    QWidget::setTabOrder(cmd_lastday, cmd_nextday);
    QWidget::setTabOrder(cmd_nextday, cmd_select);
}

void frm_main::buildMenus()
{
    QMenuBar *bar = menuBar();
    menu_edit = bar->addMenu(QStringLiteral("编辑"));
    menu_edit->setObjectName(QStringLiteral("menu_edit"));
    menu_copytonextday = menu_edit->addAction(QStringLiteral("复制到次日"));
    menu_copytonextday->setObjectName(QStringLiteral("menu_copytonextday"));
    menu_clearthisday = menu_edit->addAction(QStringLiteral("清空全天"));
    menu_clearthisday->setObjectName(QStringLiteral("menu_clearthisday"));
    menu_save = menu_edit->addAction(QStringLiteral("手动保存（退出时会自动保存）"));
    menu_save->setObjectName(QStringLiteral("menu_save"));
    menu_save->setShortcut(QKeySequence::Save);
    // Added after the items the menu has always had, so that their order stays.
    menu_edit->addSeparator();
    menu_find = menu_edit->addAction(QStringLiteral("查找"));
    menu_find->setObjectName(QStringLiteral("menu_find"));
    menu_find->setShortcut(QKeySequence::Find);
    menu_undo = menu_edit->addAction(QStringLiteral("撤销"));
    menu_undo->setObjectName(QStringLiteral("menu_undo"));
    menu_undo->setShortcut(QKeySequence::Undo);
    menu_conflicts = menu_edit->addAction(QStringLiteral("两边都改过的事…"));
    menu_conflicts->setObjectName(QStringLiteral("menu_conflicts"));
    menu_conflicts->setVisible(false);
    menu_edit->addSeparator();
    menu_dayfilelocation = menu_edit->addAction(QStringLiteral("日程文件位置…"));
    menu_dayfilelocation->setObjectName(QStringLiteral("menu_dayfilelocation"));
    connect(menu_edit, &QMenu::aboutToShow, this, &frm_main::refreshCommands);

    // Entries kept in the menu for later features; never shown, no command.
    const std::pair<const char *, QString> hidden[] = {{"menu_share", QStringLiteral("分享")},
                                                       {"menu_viewothers", QStringLiteral("看看别人")},
                                                       {"menu_help", QStringLiteral("帮助")},
                                                       {"menu_more", QStringLiteral("更多功能")}};
    for (const auto &[name, caption] : hidden) {
        QAction *a = bar->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        a->setVisible(false);
    }
    menu_about = bar->addAction(QStringLiteral("关于"));
    menu_about->setObjectName(QStringLiteral("menu_about"));
}

void frm_main::connectHandlers()
{
    for (int i = 0; i < 5; ++i) {
        connect(txt_things[i], &QLineEdit::textChanged, this, [this, i] { txt_things_Change(i); });
        connect(txt_things[i], &ThingEdit::enterPressed, this, [this, i] { txt_things_Enter(i); });
        connect(img_thingOK[i], &MarkImage::clicked, this, [this, i] { img_thingOK_Click(i); });
    }
    connect(cmd_lastday, &QPushButton::clicked, this, &frm_main::cmd_lastday_Click);
    connect(cmd_nextday, &QPushButton::clicked, this, &frm_main::cmd_nextday_Click);
    connect(lbl_returntoday, &ClickableLabel::clicked, this, &frm_main::lbl_returntoday_Click);
    connect(cmd_select, &QPushButton::clicked, this, &frm_main::cmd_select_Click);
    connect(menu_copytonextday, &QAction::triggered, this, &frm_main::menu_copytonextday_Click);
    connect(menu_clearthisday, &QAction::triggered, this, &frm_main::menu_clearthisday_Click);
    connect(menu_save, &QAction::triggered, this, [this] {
        m_day.saveByHand();
        refreshCommands(); // a merge may leave things waiting for a choice
    });
    connect(menu_find, &QAction::triggered, this, &frm_main::showSearch);
    connect(menu_undo, &QAction::triggered, this, &frm_main::menu_undo_Click);
    connect(menu_conflicts, &QAction::triggered, this, &frm_main::menu_conflicts_Click);
    connect(menu_dayfilelocation, &QAction::triggered, this, &frm_main::menu_dayfilelocation_Click);
    connect(menu_about, &QAction::triggered, this, &frm_main::menu_about_Click);
    connect(cmd_edit, &QPushButton::clicked, this, &frm_main::cmd_edit_Click);
    connect(Command3, &QPushButton::clicked, this, &frm_main::Command3_Click);
    connect(cmd_Clear, &QPushButton::clicked, this, &frm_main::td_clear);
    connect(cmd_Save, &QPushButton::clicked, this, [this] { m_day.saveByHand(); });
    // A developer tool: the day file read anew; a failure is told and leaves the view as it was.
    connect(cmd_Open, &QPushButton::clicked, this, [this] { m_day.reload(); });
    connect(Command1, &QPushButton::clicked, this, &frm_main::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frm_main::Command2_Click);
}

void frm_main::centreOnScreen()
{
    adjustSize();
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
}

void frm_main::Form_Load()
{
    for (ThingEdit *box : txt_things)
        draw_frame(box);
    centreOnScreen();
    m_day.start();
    refreshCommands();
    QCoreApplication::processEvents();
    show();
    txt_things[0]->setFocus(Qt::OtherFocusReason);
    txt_things[0]->setCursorPosition(0);
    txt_things[0]->deselect();
    m_day.tellWhatTheLoadFound();
    m_day.folder().offerHeld(QStringLiteral("上次运行时，这些事两边都改过，还没有决定保留哪一份；这台电脑的版本一直存放在日程文件旁边："));
    m_day.folder().offerConflictCopies();
    refreshCommands();
    if (m_sync)
        m_sync->start();
}
