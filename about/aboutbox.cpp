#include "aboutbox.h"

AboutBox::AboutBox(MailOpener openMail)
    : m_openMail(std::move(openMail))
{
}

AboutBox::~AboutBox()
{
    delete m_window.data();
}

frm_About *AboutBox::show()
{
    if (!m_window) {
        m_window = new frm_About(m_openMail); // no owner window
        m_window->setWindowModality(Qt::ApplicationModal);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window;
}
