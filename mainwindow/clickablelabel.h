#pragma once

#include <QLabel>

// A label that reacts to a click, as pictures and link-styled captions do in this program.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
