// The day view of the main window and the view's half of reading and writing the day file.
#include "frm_main.h"

#include "dayfilenotices.h"
#include "daysurface.h"
#include "gbk.h"
#include "markimage.h"
#include "module_pub.h"
#include "oledate.h"
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
        return; // showing a day sets every mark twice; the second time usually changes nothing
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
    td_clear();
    for (qint32 r : m_pub.DayTable.recordsOfDay(oledate::fromDate(m_pub.ShownDate))) {
        const int k = m_pub.DayTable.thingNo(r) - 1;
        if (k < 0 || k > 4)
            continue; // no box for it; this program never writes such a record
        txt_things[size_t(k)]->setThingText(gbk::decode(m_pub.DayTable.text(r)));
        setMark(k, m_pub.DayTable.isDone(r));
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
    // A day shown empty and left untouched gets no records.
    SaveReport report = anything ? m_pub.dayFile.saveDay(m_pub.DayFilePath, m_pub.DayTable, m_pub.ShownDate, things)
                                 : m_pub.dayFile.flushPending(m_pub.DayFilePath, m_pub.DayTable);
    if (anything)
        Dirty = false;
    return dayfilenotices::afterSave(m_prompts, this, m_pub, std::move(report));
}
