// The day view of the main window and the view's half of reading and writing the day file.
#include "frm_main.h"

#include "daysurface.h"
#include "daythings.h"
#include "markimage.h"
#include "module_pub.h"
#include "thingedit.h"
#include "timesource.h"
#include "units.h"

#include <QCoreApplication>
#include <QLabel>

namespace {
const QString True = QStringLiteral("True");
const QString False = QStringLiteral("False");
const QColor FrameBlue(79, 129, 189);
} // namespace

void frm_main::setMark(int index, bool done)
{
    MarkImage *mark = img_thingOK[size_t(index)];
    // Both from the hidden templates: the marks share the templates' picture objects.
    const QPixmap picture = done ? img_checkOK->pixmap() : img_check->pixmap();
    const bool changed = !mark->shows(picture) || mark->tag() != (done ? True : False);
    if (!changed)
        return; // showing a day sets every mark; most keep the picture they show
    mark->setPixmap(picture);
    mark->resize(picture.size());
    mark->setTag(done ? True : False);
    describeMark(index);
}

bool frm_main::isDone(int index) const
{
    return img_thingOK[size_t(index)]->tag() == True;
}

void frm_main::td_clear()
{
    for (int i = 0; i < 5; ++i) {
        txt_things[size_t(i)]->setThingText(QString());
        setMark(i, false);
    }
}

void frm_main::td_showday()
{
    const DayThings things = thingsOfDay(m_pub.DayTable, m_pub.ShownDate);
    for (size_t k = 0; k < things.size(); ++k) {
        txt_things[k]->setThingText(things[k].text);
        setMark(int(k), things[k].done);
    }
    QCoreApplication::processEvents();
    Dirty = false;
}

void frm_main::td_caption()
{
    const QString prefix = m_pub.ShownDate == m_time.today() ? QStringLiteral("今天：") : QStringLiteral("日期：");
    lbl_today->setText(prefix + QLocale().toString(m_pub.ShownDate, QLocale::ShortFormat));
}

void frm_main::draw_frame(QWidget *control)
{
    // The control's edges in points; the frame sits 4 points outside, the white 3 points outside.
    const QRectF px(control->geometry());
    const QRectF r(px.topLeft() / units::PixelsPerPoint, px.size() / units::PixelsPerPoint);
    m_surface->drawOutline(r.topLeft() - QPointF(4, 4), r.bottomRight() + QPointF(4, 4), FrameBlue);
    m_surface->drawOutline(r.topLeft() - QPointF(3, 3), r.bottomRight() + QPointF(3, 3), Qt::white);
}

LoadReport frm_main::td_load()
{
    const LoadReport report = m_pub.dayFile.load(m_pub.DayFilePath, m_pub.DayTable);
    // When nothing could be read the view keeps what it shows; after a partial read it shows
    // what was read (nothing of it can be written over, see DayFile).
    if (report.status != LoadReport::Status::CannotOpen && report.status != LoadReport::Status::JournalUnreadable)
        td_showday();
    return report;
}

SaveReport frm_main::saveShownDay()
{
    DayThings things;
    bool anything = Dirty;
    for (size_t i = 0; i < 5; ++i) {
        things[i].text = txt_things[i]->text();
        things[i].done = isDone(int(i));
        anything = anything || !things[i].text.isEmpty() || things[i].done;
    }
    if (!anything) // a day shown empty and left untouched gets no records
        return m_pub.dayFile.flushPending(m_pub.DayFilePath, m_pub.DayTable);
    const SaveReport report = m_pub.dayFile.saveDay(m_pub.DayFilePath, m_pub.DayTable, m_pub.ShownDate, things);
    Dirty = false;
    return report;
}
