#pragma once

#include <QDialog>
#include <QRect>
#include <QString>

#include <functional>

class QTextEdit;
class QPushButton;
class QUrl;

// Hands a "mailto:" URL to the user's mail program. The result says whether it was handed on;
// the about window does not look at it.
using MailOpener = std::function<bool(const QUrl &)>;

// The opener the program uses: the desktop's handler for mailto: URLs.
MailOpener defaultMailOpener();

// The fixed text shown in the about window, each line ended by CR LF.
QString aboutText();

// Where the window's client area goes: at its design place from the screen's top-left corner,
// moved back inside the available area on screens too small to hold it there.
QRect aboutClientRect(const QRect &screen, const QRect &available);

// The about window. "关 闭" only hides it, so it can be shown again as it was; closing it from the
// title bar destroys it.
class frm_About : public QDialog
{
    Q_OBJECT

public:
    explicit frm_About(MailOpener openMail, QWidget *parent = nullptr);

public slots:
    // Escape puts the window away like "关 闭" instead of ending (and destroying) the dialog.
    void reject() override;

private:
    void Command1_Click();
    void cmd_close_Click();

    MailOpener m_openMail;
    QTextEdit *m_text1 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_cmdClose = nullptr;
};
