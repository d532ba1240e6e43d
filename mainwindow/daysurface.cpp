#include "daysurface.h"

#include "units.h"

#include <QPainter>

namespace {
// Line1: the light grey rule under the top bar, in twips.
constexpr double RuleY = 840, RuleX1 = 0, RuleX2 = 12000;
const QColor RuleColour(0xC0, 0xC0, 0xC0);
} // namespace

DaySurface::DaySurface(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
}

void DaySurface::drawOutline(QPointF corner1, QPointF corner2, const QColor &colour)
{
    m_outlines.append({QRectF(corner1, corner2).normalized(), colour});
    update();
}

void DaySurface::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(QPen(RuleColour, 0));
    p.drawLine(QPointF(units::twipsToPixels(RuleX1), units::twipsToPixels(RuleY)),
               QPointF(units::twipsToPixels(RuleX2), units::twipsToPixels(RuleY)));

    p.scale(units::PixelsPerPoint, units::PixelsPerPoint);
    for (const Outline &o : m_outlines) {
        p.setPen(QPen(o.colour, 0)); // cosmetic: one pixel whatever the scale
        p.drawRect(o.points);
    }
}
