#include "fonts.h"

#include "units.h"

#include <QStringList>
#include <cmath>

namespace fonts {

namespace {

QStringList families(Face face)
{
    switch (face) {
    case Face::SimSun:
        return {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
                QStringLiteral("Noto Sans CJK SC")};
    case Face::MicrosoftYaHei:
        return {QStringLiteral("Microsoft YaHei"), QStringLiteral("微软雅黑"), QStringLiteral("Noto Sans CJK SC")};
    case Face::SimHei:
        return {QStringLiteral("SimHei"), QStringLiteral("黑体"), QStringLiteral("Noto Sans CJK SC")};
    case Face::AdobeFanHei:
        return {QStringLiteral("Adobe Fan Heiti Std B"), QStringLiteral("Adobe 繁黑體 Std B"),
                QStringLiteral("Noto Sans CJK TC"), QStringLiteral("Noto Sans CJK SC")};
    case Face::Symbol:
        // Not the Symbol font: it maps digits to Greek letters on systems without Windows' own.
        return {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")};
    case Face::WindowDefault:
        return {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Sans CJK SC")};
    }
    return {};
}

} // namespace

QFont font(Face face, double points, int weight, bool underline)
{
    QFont f;
    f.setFamilies(families(face));
    f.setPixelSize(int(std::lround(units::pointsToPixels(points))));
    f.setWeight(QFont::Weight(weight));
    f.setUnderline(underline);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QFont windowDefault()
{
    return font(Face::WindowDefault, 9);
}

} // namespace fonts
