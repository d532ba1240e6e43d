#pragma once

#include <QColor>
#include <QList>
#include <QRectF>
#include <QWidget>

// The main window's drawing surface. What is drawn on it is kept and painted again on every
// repaint, as a window with a persistent picture would; coordinates are points.
class DaySurface : public QWidget
{
    Q_OBJECT

public:
    struct Outline
    {
        QRectF points;
        QColor colour;
    };

    explicit DaySurface(QWidget *parent = nullptr);

    // A rectangle outline with corners (x1, y1) and (x2, y2), in points, one pixel wide.
    void drawOutline(QPointF corner1, QPointF corner2, const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<Outline> m_outlines;
};
