#include "foundthings.h"

#include "units.h"

#include <QApplication>
#include <QLocale>
#include <QPainter>
#include <QTextLayout>

void FoundThings::setRows(std::vector<FoundThing> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int FoundThings::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QString FoundThings::dateText(QDate day)
{
    return QLocale().toString(day, QLocale::ShortFormat);
}

QString FoundThings::numberText(qint32 thingNo)
{
    return thingNo >= 1 && thingNo <= 5 ? QString(QChar(0x2460 + thingNo - 1)) : QString::number(thingNo);
}

QVariant FoundThings::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const FoundThing &t = thing(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return QStringLiteral("%1 %2 %3 %4")
            .arg(dateText(t.day), numberText(t.thingNo), t.done ? QStringLiteral("√") : QStringLiteral(" "), t.text);
    case Qt::AccessibleTextRole:
        return QStringLiteral("%1，第%2件，%3，%4")
            .arg(dateText(t.day))
            .arg(t.thingNo)
            .arg(t.done ? QStringLiteral("已完成") : QStringLiteral("未完成"), t.text);
    case Qt::ToolTipRole:
        return t.text;
    default:
        return {};
    }
}

namespace {

const QColor MarkColour(237, 125, 49);   // the orange of the done picture
const QColor MatchColour(255, 236, 150); // a marker pen behind the matched characters

struct Columns
{
    int gap;
    int date;
    int number;
    int mark;
};

Columns columns(const QFontMetrics &fm)
{
    // The widest dates of a short format have two-digit months and days.
    const int date = std::max(fm.horizontalAdvance(FoundThings::dateText(QDate(2088, 12, 28))),
                              fm.horizontalAdvance(FoundThings::dateText(QDate(2000, 10, 20))));
    return {int(units::twipsToPixels(90)), date, fm.horizontalAdvance(QStringLiteral("⑤")),
            fm.horizontalAdvance(QStringLiteral("√"))};
}

} // namespace

void FoundThingDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget); // background, selection, focus

    const FoundThing &thing = static_cast<const FoundThings *>(index.model())->thing(index.row());
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = opt.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const QColor ink = opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    const QFontMetrics fm(opt.font);
    const Columns c = columns(fm);

    painter->save();
    painter->setFont(opt.font);
    painter->setPen(ink);
    QRect cell = opt.rect.adjusted(c.gap, 0, -c.gap, 0);
    const auto column = [&cell](int width, int after) {
        const QRect r(cell.left(), cell.top(), width, cell.height());
        cell.setLeft(cell.left() + width + after);
        return r;
    };
    painter->drawText(column(c.date, 2 * c.gap), Qt::AlignLeft | Qt::AlignVCenter, FoundThings::dateText(thing.day));
    painter->drawText(column(c.number, c.gap), Qt::AlignCenter, FoundThings::numberText(thing.thingNo));
    const QRect mark = column(c.mark, 2 * c.gap);
    if (thing.done) {
        painter->setPen(selected ? ink : MarkColour);
        painter->drawText(mark, Qt::AlignCenter, QStringLiteral("√"));
        painter->setPen(ink);
    }

    // The text, cut with an ellipsis when it does not fit; matches beyond the cut go with it.
    // Bold matches are wider, so they leave less room for the rest.
    QFont bold = opt.font;
    bold.setBold(true);
    const QFontMetrics boldFm(bold);
    int room = cell.width();
    for (const auto &[start, length] : thing.matches) {
        const QString part = thing.text.mid(start, length);
        room -= boldFm.horizontalAdvance(part) - fm.horizontalAdvance(part);
    }
    const QString shown = fm.elidedText(thing.text, Qt::ElideRight, room);
    const qsizetype kept = shown == thing.text ? shown.size() : shown.size() - 1;
    QList<QTextLayout::FormatRange> formats;
    for (const auto &[start, length] : thing.matches) {
        if (start >= kept)
            break;
        QTextCharFormat emphasis;
        emphasis.setFontWeight(QFont::Bold);
        if (!selected)
            emphasis.setBackground(MatchColour);
        formats.append({int(start), int(std::min(length, kept - start)), emphasis});
    }
    QTextLayout layout(shown, opt.font);
    layout.setFormats(formats);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setNumColumns(int(shown.size()));
    layout.endLayout();
    painter->setClipRect(cell);
    layout.draw(painter, QPointF(cell.left(), cell.top() + (cell.height() - line.height()) / 2));
    painter->restore();
}

QSize FoundThingDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return {0, option.fontMetrics.height() + int(units::twipsToPixels(120))};
}

void FoundThingList::setEmptyText(const QString &text)
{
    if (text == m_emptyText)
        return;
    m_emptyText = text;
    viewport()->update();
}

void FoundThingList::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    if (model() && model()->rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, m_emptyText);
}
