// The sync with a calendar server in the main window: two items at the end of the edit menu, the
// second of which says how the last sync ended. The window's layout stays as it is. The sync is
// loaded from its plugin only when a sync is set up, or the user opens its settings.
#include "frm_main.h"

#include "syncsettingsdialog.h"
#include "windowsync.h"

#include <QAction>
#include <QMenu>

void frm_main::attachSync(SyncMaker make, bool setUp)
{
    m_makeSync = std::move(make);
    menu_edit->addSeparator();
    menu_syncsettings = menu_edit->addAction(QStringLiteral("同步设置…"));
    menu_syncsettings->setObjectName(QStringLiteral("menu_syncsettings"));
    menu_syncnow = menu_edit->addAction(QStringLiteral("立即同步"));
    menu_syncnow->setObjectName(QStringLiteral("menu_syncnow"));
    menu_edit->setToolTipsVisible(true);
    connect(menu_syncsettings, &QAction::triggered, this, &frm_main::menu_syncsettings_Click);
    connect(menu_syncnow, &QAction::triggered, this, &frm_main::menu_syncnow_Click);
    // The sync's state is kept by the day file's path: it follows the file.
    connect(this, &frm_main::dayFileMoved, this, [this](const QString &, const QString &newPath) {
        if (m_sync)
            m_sync->dayFileMoved(newPath);
    });
    // When it cannot be loaded the user has been told why; 立即同步 then opens the settings, which
    // try again.
    if (setUp && !loadSync())
        qWarning("tallyleaf: the sync that is set up could not be loaded");
    showSyncState();
}

bool frm_main::loadSync()
{
    if (m_sync)
        return true;
    if (!m_makeSync)
        return false;
    m_sync = m_makeSync(m_day, m_time, m_prompts);
    if (!m_sync)
        return false;
    m_sync->setOnStateChanged([this] { showSyncState(); });
    return true;
}

void frm_main::menu_syncsettings_Click()
{
    if (!m_sync) {
        if (!loadSync())
            return;
        m_sync->start(); // the window has started: a menu is open only then
    }
    SyncSettingsDialog dialog(m_sync->url(), m_sync->user(), m_sync->sinceDays(), m_sync->keepsPasswords(), this);
    while (dialog.exec() == QDialog::Accepted) {
        // The range first: the sync that setting up starts reaches as far as the user said.
        if (m_sync->setRange(dialog.sinceDays()) && m_sync->setUp(dialog.url(), dialog.user(), dialog.password()))
            return;
        // What was wrong has been told: the dialog comes back as the user left it.
    }
}

void frm_main::menu_syncnow_Click()
{
    if (!m_sync || !m_sync->isSetUp())
        return menu_syncsettings_Click();
    m_sync->syncNow();
}

void frm_main::showSyncState()
{
    const QString status = m_sync ? m_sync->status() : QString();
    menu_syncnow->setText(status.isEmpty() ? QStringLiteral("立即同步") : QStringLiteral("立即同步（%1）").arg(status));
    menu_syncnow->setEnabled(!m_sync || m_sync->state() != WindowSync::State::Running);
    const QString details = m_sync ? m_sync->details() : QString();
    menu_syncnow->setToolTip(details.isEmpty() ? menu_syncnow->text() : details);
}
