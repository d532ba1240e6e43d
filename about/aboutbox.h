#pragma once

#include "frm_about.h"

#include <QPointer>

// Shows the about window application-modal without waiting for it: the hidden window again if
// there is one, otherwise a new one. Destroys a window still hidden when it goes.
class AboutBox
{
public:
    explicit AboutBox(MailOpener openMail = defaultMailOpener());
    ~AboutBox();
    AboutBox(const AboutBox &) = delete;
    AboutBox &operator=(const AboutBox &) = delete;

    frm_About *show();

private:
    MailOpener m_openMail;
    QPointer<frm_About> m_window;
};
