#pragma once

#include <QLabel>
#include <QMouseEvent>

// A label that reports a click, the left button pressed and released over it, as pictures,
// day numbers and link-styled captions do in this program.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        m_pressed = event->button() == Qt::LeftButton;
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
        m_pressed = false;
        if (click)
            emit clicked();
    }

private:
    bool m_pressed = false;
};
