// The sync with a calendar server in the main window: two items at the end of the edit menu, the
// second of which says how the last sync ended. The window's layout stays as it is.
#include "frm_main.h"

#include "syncsettingsdialog.h"
#include "windowsync.h"

#include <QAction>
#include <QMenu>

void frm_main::attachSync(PasswordKeeper &passwords, QNetworkAccessManager &network, const QString &stateFolder)
{
    m_sync = std::make_unique<WindowSync>(m_day, m_time, m_prompts, passwords, network, stateFolder);
    menu_edit->addSeparator();
    menu_syncsettings = menu_edit->addAction(QStringLiteral("同步设置…"));
    menu_syncsettings->setObjectName(QStringLiteral("menu_syncsettings"));
    menu_syncnow = menu_edit->addAction(QStringLiteral("立即同步"));
    menu_syncnow->setObjectName(QStringLiteral("menu_syncnow"));
    menu_edit->setToolTipsVisible(true);
    connect(menu_syncsettings, &QAction::triggered, this, &frm_main::menu_syncsettings_Click);
    connect(menu_syncnow, &QAction::triggered, this, &frm_main::menu_syncnow_Click);
    connect(m_sync.get(), &WindowSync::stateChanged, this, &frm_main::showSyncState);
    // The sync's state is kept by the day file's path: it follows the file.
    connect(this, &frm_main::dayFileMoved, m_sync.get(),
            [this](const QString &, const QString &newPath) { m_sync->dayFileMoved(newPath); });
    showSyncState();
}

void frm_main::menu_syncsettings_Click()
{
    SyncSettingsDialog dialog(m_sync->url(), m_sync->user(), m_sync->keepsPasswords(), this);
    while (dialog.exec() == QDialog::Accepted) {
        if (m_sync->setUp(dialog.url(), dialog.user(), dialog.password()))
            return;
        // What was wrong has been told: the dialog comes back as the user left it.
    }
}

void frm_main::menu_syncnow_Click()
{
    if (!m_sync->isSetUp())
        return menu_syncsettings_Click();
    m_sync->syncNow();
}

void frm_main::showSyncState()
{
    const QString status = m_sync->status();
    menu_syncnow->setText(status.isEmpty() ? QStringLiteral("立即同步") : QStringLiteral("立即同步（%1）").arg(status));
    menu_syncnow->setEnabled(m_sync->state() != WindowSync::State::Running);
    const QString details = m_sync->details();
    menu_syncnow->setToolTip(details.isEmpty() ? menu_syncnow->text() : details);
}
