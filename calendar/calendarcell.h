#pragma once

#include "monthgrid.h"

#include <QWidget>
#include <vector>

// One cell of the calendar grid: a white surface that keeps the lines printed on it, with a flat
// one-pixel border at rest and a sunken border while the pointer is on it.
class CalendarCell : public QWidget
{
    Q_OBJECT

public:
    // Print positions and children are measured from inside the flat border, as on the design.
    static constexpr int Inset = 1;

    explicit CalendarCell(QWidget *parent = nullptr);

    // What the cell shows; it paints from this alone, so repaints and border changes keep it.
    const std::vector<monthgrid::Line> &lines() const { return m_lines; }
    void print(std::vector<monthgrid::Line> lines);

    bool isSunken() const { return m_sunken; }
    void setSunken(bool sunken);

signals:
    void clicked();
    void hovered();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    std::vector<monthgrid::Line> m_lines;
    bool m_sunken = false;
    bool m_pressed = false;
};
