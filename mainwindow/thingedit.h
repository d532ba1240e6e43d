#pragma once

#include <QLineEdit>

// The text box of one thing. Typing is limited to InputLimit characters, but text the program
// puts in (a stored thing may be longer) is taken whole. Characters that have no GBK form are
// refused as they are typed or pasted, so what the user sees is what the day file can hold.
// Enter moves on to the next box instead of inserting anything; while an input method is
// composing, Enter commits the composition instead.
class ThingEdit : public QLineEdit
{
    Q_OBJECT

public:
    static constexpr int InputLimit = 80;

    explicit ThingEdit(QWidget *parent = nullptr);

    // Puts stored text into the box without the limits of typing, the caret at its start.
    void setThingText(const QString &text);

signals:
    void enterPressed();

protected:
    // Ctrl+Z with nothing of its own to undo is left to the window, which may undo a day command.
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    friend class ThingValidator;
    bool m_programmatic = false;
    qsizetype m_acceptedLength = 0;
    QString m_preedit; // what an input method is composing, not yet part of the text
};
