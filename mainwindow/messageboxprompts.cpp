#include "messageboxprompts.h"

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

bool MessageBoxPrompts::retryFailedSave(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, Caption, text, QMessageBox::Retry | QMessageBox::Discard, m_parent);
    box.setDefaultButton(QMessageBox::Retry);
    return box.exec() == QMessageBox::Retry;
}

void MessageBoxPrompts::inform(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, Caption, text, QMessageBox::Ok, m_parent);
    box.exec();
}
