#pragma once

#include "prompts.h"

#include <QPointer>

class QWidget;

// The program's questions as message boxes over its main window, captioned with its title.
class MessageBoxPrompts final : public Prompts
{
public:
    // The window the boxes belong to; none before the main window exists.
    void setParentWindow(QWidget *window) { m_parent = window; }

    bool confirm(const QString &text) override;
    FailedSave askAboutFailedSave(const QString &text) override;
    void inform(const QString &text) override;
    std::optional<QString> askPassword(const QString &text) override;
    std::vector<std::optional<thingdecision::Choice>> resolveConflicts(const QString &about,
                                                                  const std::vector<thingdecision::Conflict> &conflicts) override;

private:
    QPointer<QWidget> m_parent;
};
