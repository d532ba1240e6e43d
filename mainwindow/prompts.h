#pragma once

#include <QString>

class QWidget;

// The questions and messages the main window puts to the user, behind one seam so that tests
// answer them. The program uses message boxes; captions are the program's title.
class Prompts
{
public:
    virtual ~Prompts() = default;

    // Yes/No, no icon, Yes the default. True for Yes.
    virtual bool confirm(QWidget *parent, const QString &text) = 0;

    // The day could not be written at close: true to try again, false to close without it.
    virtual bool retryFailedSave(QWidget *parent, const QString &text) = 0;

    // A plain message with a single OK button.
    virtual void inform(QWidget *parent, const QString &text) = 0;
};

class MessageBoxPrompts final : public Prompts
{
public:
    bool confirm(QWidget *parent, const QString &text) override;
    bool retryFailedSave(QWidget *parent, const QString &text) override;
    void inform(QWidget *parent, const QString &text) override;
};
