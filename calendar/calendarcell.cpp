#include "calendarcell.h"

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

CalendarCell::CalendarCell(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CalendarCell::print(std::vector<monthgrid::Line> lines)
{
    if (lines.empty() && m_lines.empty())
        return;
    m_lines = std::move(lines);
    update();
}

void CalendarCell::setSunken(bool sunken)
{
    if (sunken == m_sunken)
        return;
    m_sunken = sunken;
    update();
}

void CalendarCell::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));

    // Lines are placed by their top edge; what runs past the cell is cut off by the widget.
    const QPoint origin(Inset, Inset + fontMetrics().ascent());
    for (const monthgrid::Line &line : m_lines) {
        p.setPen(line.colour);
        p.drawText(origin + line.position, line.text);
    }

    if (m_sunken) {
        qDrawWinPanel(&p, rect(), palette(), true);
    } else {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void CalendarCell::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void CalendarCell::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        emit clicked();
}

void CalendarCell::mouseMoveEvent(QMouseEvent *)
{
    emit hovered();
}
