#include "messageboxprompts.h"

#include "conflictdialog.h"

#include <QInputDialog>
#include <QMessageBox>

namespace {
const QString Caption = QStringLiteral("Tallyleaf");
}

bool MessageBoxPrompts::confirm(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, Caption, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

Prompts::FailedSave MessageBoxPrompts::askAboutFailedSave(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, Caption, text,
                    QMessageBox::Retry | QMessageBox::Discard | QMessageBox::Cancel, m_parent);
    box.setDefaultButton(QMessageBox::Retry);
    box.setEscapeButton(QMessageBox::Cancel); // Escape goes back to the window
    switch (box.exec()) {
    case QMessageBox::Retry:
        return FailedSave::Retry;
    case QMessageBox::Discard:
        return FailedSave::Discard;
    default:
        return FailedSave::Cancel;
    }
}

void MessageBoxPrompts::inform(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, Caption, text, QMessageBox::Ok, m_parent);
    box.exec();
}

std::optional<QString> MessageBoxPrompts::askPassword(const QString &text)
{
    bool given = false;
    const QString password = QInputDialog::getText(m_parent, Caption, text, QLineEdit::Password, QString(), &given);
    if (!given || password.isEmpty())
        return std::nullopt;
    return password;
}

std::vector<std::optional<thingdecision::Choice>> MessageBoxPrompts::resolveConflicts(
    const QString &about, const std::vector<thingdecision::Conflict> &conflicts)
{
    ConflictDialog dialog(about, conflicts, m_parent);
    dialog.exec();
    return dialog.choices();
}
