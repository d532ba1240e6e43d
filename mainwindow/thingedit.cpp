#include "thingedit.h"

#include "gbk.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QValidator>

class ThingValidator : public QValidator
{
public:
    explicit ThingValidator(ThingEdit *edit) : QValidator(edit), m_edit(edit) {}

    State validate(QString &input, int &pos) const override
    {
        if (m_edit->m_programmatic)
            return Acceptable;
        // Drop what has no GBK form, keeping the rest of a paste.
        QString kept;
        kept.reserve(input.size());
        int keptBeforeCursor = 0;
        int i = 0;
        while (i < input.size()) {
            const int width = input.at(i).isHighSurrogate() && i + 1 < input.size() ? 2 : 1;
            const QStringView ch = QStringView(input).mid(i, width);
            if (gbk::canEncode(ch)) {
                kept += ch;
                if (i < pos)
                    keptBeforeCursor += width;
            }
            i += width;
        }
        // Typing may not grow the text past the limit; a longer stored text may still shrink.
        const qsizetype before = m_edit->m_acceptedLength;
        if (kept.size() > ThingEdit::InputLimit && kept.size() > before)
            return Invalid;
        input = kept;
        pos = keptBeforeCursor;
        return Acceptable;
    }

private:
    ThingEdit *m_edit;
};

ThingEdit::ThingEdit(QWidget *parent) : QLineEdit(parent)
{
    setValidator(new ThingValidator(this));
    // The box's own text already holds an edit while it is validated; remember the last one.
    connect(this, &QLineEdit::textChanged, this, [this](const QString &text) { m_acceptedLength = text.size(); });
}

void ThingEdit::setThingText(const QString &text)
{
    m_programmatic = true;
    setText(text);
    setCursorPosition(0); // a long text shows its beginning, as a freshly filled text box does
    m_programmatic = false;
}

void ThingEdit::inputMethodEvent(QInputMethodEvent *event)
{
    m_preedit = event->preeditString();
    QLineEdit::inputMethodEvent(event);
}

void ThingEdit::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !m_preedit.isEmpty()) {
        // An input method that lets Enter through still expects it to take the composition.
        QInputMethodEvent commit;
        commit.setCommitString(m_preedit);
        inputMethodEvent(&commit);
        QGuiApplication::inputMethod()->reset();
        event->accept();
        return;
    }
    if (enter) {
        event->accept();
        emit enterPressed();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

bool ThingEdit::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride && !isUndoAvailable()
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Undo)) {
        event->ignore();
        return false;
    }
    return QLineEdit::event(event);
}
