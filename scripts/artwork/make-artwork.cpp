// Draws Tallyleaf's pictures with QPainter and writes them as PNG files.
//
//   make-artwork <resources-dir>
//
// Writes images/{banner,about_banner,check,check_ok}.png (and their @2x twins, drawn at twice
// the size) and icons/<N>/tallyleaf.png. Run it through scripts/make-artwork, which builds it
// and sets QT_QPA_PLATFORM=offscreen. Everything is drawn here; nothing is copied in.
//
// The leaf-and-tick emblem is designed on a 100 × 100 grid; resources/icons/scalable/tallyleaf.svg
// repeats the same paths by hand, so keep the two in step when changing the emblem.

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTextStream>

#include <cstdio>
#include <functional>

namespace {

// Palette: calm blue and green, with orange for the "done" mark.
const QColor LeafLight(0x5c, 0xc0, 0x8a);
const QColor LeafDark(0x2b, 0x7f, 0xb8);
const QColor Stem(0x2f, 0x7d, 0x6a);
const QColor TextBlue(0x2a, 0x6a, 0xa3);
const QColor TextGreen(0x34, 0x93, 0x63);
const QColor Tagline(0x5f, 0x73, 0x82);
const QColor OutlineGrey(0x9a, 0xa3, 0xab);
const QColor OrangeLight(0xff, 0xb2, 0x4d);
const QColor OrangeDark(0xf0, 0x84, 0x1a);
const QColor OrangeOutline(0x9c, 0x4f, 0x12);

const QString FontFamily = QStringLiteral("Noto Sans CJK SC");

bool failed = false;

void save(const QImage &image, const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "make-artwork: cannot write %s\n", qPrintable(path));
        failed = true;
    }
}

// Draws `draw` (which works in 1× logical pixels) onto a `size` canvas at scale 1 and 2 and saves
// both; `opaque` gives a white 24-bit picture, otherwise a transparent one.
void render(const QString &path, QSize size, bool opaque, const std::function<void(QPainter &)> &draw)
{
    for (int scale : {1, 2}) {
        QImage image(size * scale, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        image.fill(opaque ? Qt::white : Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
            p.scale(scale, scale);
            draw(p);
        }
        QString out = path;
        if (scale == 2)
            out.replace(QStringLiteral(".png"), QStringLiteral("@2x.png"));
        save(image, out);
    }
}

// --- The leaf-and-tick emblem, on a 100 × 100 grid -------------------------------------------

QPainterPath leafPath()
{
    // A leaf lying on the diagonal, tip at the top right, base at the bottom left.
    QPainterPath leaf;
    leaf.moveTo(16, 84);
    leaf.cubicTo(8, 46, 34, 12, 92, 8);
    leaf.cubicTo(88, 66, 54, 92, 16, 84);
    leaf.closeSubpath();
    return leaf;
}

QPainterPath emblemTickLine()
{
    QPainterPath tick;
    tick.moveTo(33, 53);
    tick.lineTo(46, 65);
    tick.lineTo(70, 34);
    return tick;
}

// `pixels` is the emblem's final size on screen; small sizes get a bolder, simpler drawing.
void drawEmblem(QPainter &p, const QRectF &box, qreal pixels)
{
    const bool tiny = pixels < 28;
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 100.0, box.height() / 100.0);

    // Stem.
    QPainterPath stem;
    stem.moveTo(20, 80);
    stem.quadTo(12, 88, 6, 95);
    p.setPen(QPen(Stem, tiny ? 8 : 5.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(stem);

    // Leaf body: green at the top left fading into blue at the bottom right.
    QLinearGradient body(QPointF(20, 20), QPointF(80, 80));
    body.setColorAt(0, LeafLight);
    body.setColorAt(1, LeafDark);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    const QPainterPath leaf = leafPath();
    p.drawPath(leaf);

    if (!tiny) {
        // A soft highlight along the upper edge.
        QPainterPath shine;
        shine.moveTo(22, 70);
        shine.cubicTo(18, 42, 40, 20, 78, 14);
        p.setPen(QPen(QColor(255, 255, 255, 70), 3, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shine);
    }

    // The tick, standing in for the leaf's midrib.
    p.setPen(QPen(Qt::white, tiny ? 13 : 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(emblemTickLine());
    p.restore();
}

// --- Banners -------------------------------------------------------------------------------

QFont font(int pixelSize, QFont::Weight weight)
{
    QFont f(FontFamily);
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// Draws "Tallyleaf" with its baseline at `baseline`, "Tally" in blue and "leaf" in green.
void drawWordmark(QPainter &p, QPointF baseline, int pixelSize)
{
    const QFont f = font(pixelSize, QFont::Bold);
    p.setFont(f);
    const QString first = QStringLiteral("Tally");
    const QString second = QStringLiteral("leaf");
    p.setPen(TextBlue);
    p.drawText(baseline, first);
    p.setPen(TextGreen);
    p.drawText(baseline + QPointF(QFontMetricsF(f).horizontalAdvance(first), 0), second);
}

void drawBanner(QPainter &p)
{
    drawEmblem(p, QRectF(6, 5, 34, 34), 34);
    drawWordmark(p, QPointF(48, 30), 25);
}

void drawAboutBanner(QPainter &p)
{
    drawEmblem(p, QRectF(18, 12, 88, 88), 88);
    drawWordmark(p, QPointF(124, 60), 48);

    p.setFont(font(19, QFont::Normal));
    p.setPen(Tagline);
    p.drawText(QPointF(127, 91), QStringLiteral("每天五件事"));

    // A thin fading rule under the tagline area.
    QLinearGradient rule(QPointF(124, 0), QPointF(470, 0));
    rule.setColorAt(0, QColor(LeafLight.red(), LeafLight.green(), LeafLight.blue(), 160));
    rule.setColorAt(1, QColor(LeafDark.red(), LeafDark.green(), LeafDark.blue(), 0));
    p.setPen(Qt::NoPen);
    p.setBrush(rule);
    p.drawRect(QRectF(228, 83.5, 236, 1.5));
}

// --- Completion marks ------------------------------------------------------------------------

// The tick outline for the completion marks, fitted into a 62 × 56 box at the origin.
QPainterPath completionTick()
{
    QPainterPath line;
    line.moveTo(9, 31);
    line.lineTo(24, 46);
    line.lineTo(53, 10);
    QPainterPathStroker stroker;
    stroker.setWidth(13);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    stroker.setMiterLimit(4);
    return stroker.createStroke(line).simplified();
}

void drawCheck(QPainter &p)
{
    // 66 × 60: white tick with a thin grey outline.
    p.translate(2, 2);
    p.setPen(QPen(OutlineGrey, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(completionTick());
}

void drawCheckOk(QPainter &p)
{
    // 68 × 62: the same tick filled orange with a darker outline.
    p.translate(3, 3);
    const QPainterPath tick = completionTick();
    QLinearGradient fill(QPointF(0, 8), QPointF(0, 56));
    fill.setColorAt(0, OrangeLight);
    fill.setColorAt(1, OrangeDark);
    p.setPen(QPen(OrangeOutline, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPath(tick);
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-artwork <resources-dir>\n");
        return 2;
    }
    if (!QFontDatabase::families().contains(FontFamily))
        std::fprintf(stderr, "make-artwork: warning: font \"%s\" is not installed\n", qPrintable(FontFamily));

    const QDir dir(QString::fromLocal8Bit(argv[1]));
    render(dir.filePath("images/banner.png"), {182, 44}, true, drawBanner);
    render(dir.filePath("images/about_banner.png"), {480, 112}, true, drawAboutBanner);
    render(dir.filePath("images/check.png"), {66, 60}, true, drawCheck);
    render(dir.filePath("images/check_ok.png"), {68, 62}, true, drawCheckOk);

    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            drawEmblem(p, QRectF(0, 0, size, size), size);
        }
        save(image, dir.filePath(QStringLiteral("icons/%1/tallyleaf.png").arg(size)));
    }
    return failed ? 1 : 0;
}
