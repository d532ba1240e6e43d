#include "prompts.h"

#include <QMessageBox>

namespace {
const QString Caption = QStringLiteral("Tallyleaf");
}

bool MessageBoxPrompts::confirm(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, Caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool MessageBoxPrompts::retryFailedSave(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, Caption, text, QMessageBox::Retry | QMessageBox::Discard, parent);
    box.setDefaultButton(QMessageBox::Retry);
    return box.exec() == QMessageBox::Retry;
}

void MessageBoxPrompts::inform(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, Caption, text, QMessageBox::Ok, parent);
    box.exec();
}
