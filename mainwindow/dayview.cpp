// The day view of the main window and the view's half of reading and writing the day file.
#include "frm_main.h"

#include "dayfilenotices.h"
#include "daysurface.h"
#include "daythings.h"
#include "markimage.h"
#include "module_pub.h"
#include "oledate.h"
#include "thingedit.h"
#include "timesource.h"
#include "units.h"

#include <QCoreApplication>
#include <QLabel>
#include <algorithm>

namespace {
const QString True = QStringLiteral("True");
const QString False = QStringLiteral("False");
const QColor FrameBlue(79, 129, 189);

bool hasContent(const DayThings &things)
{
    return std::any_of(things.begin(), things.end(), [](const ThingInput &t) { return !t.text.isEmpty() || t.done; });
}
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
    m_designShown = false;
}

void frm_main::td_showday()
{
    const DayThings things = thingsOfDay(m_pub.dayFile.table(), m_pub.ShownDate);
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
    const LoadReport report = m_pub.dayFile.load();
    // When nothing could be read the view keeps what it shows; after a partial read it shows
    // what was read (nothing of it can be written over, see DayFile).
    if (report.status != LoadReport::Status::CannotOpen && report.status != LoadReport::Status::JournalUnreadable)
        td_showday();
    return report;
}

DayThings frm_main::viewThings() const
{
    DayThings things;
    for (size_t i = 0; i < 5; ++i) {
        things[i].text = txt_things[i]->text();
        things[i].done = isDone(int(i));
    }
    // After a load that failed, the first box still holds the design's hint; it is not the user's.
    if (m_designShown && things[0].text == DesignHint)
        things[0].text.clear();
    return things;
}

SaveReport frm_main::heeded(SaveReport report)
{
    if (m_ending) // nobody is there to answer an offer
        return report;
    return dayfilenotices::afterSave(m_prompts, this, m_pub, std::move(report));
}

SaveReport frm_main::saveThings(QDate day, const DayThings &things)
{
    return heeded(m_pub.dayFile.saveDay(day, things));
}

SaveReport frm_main::flushHeldBack()
{
    return heeded(m_pub.dayFile.flushPending());
}

SaveReport frm_main::td_save()
{
    const DayThings things = viewThings();
    if (!Dirty && !hasContent(things)) // a day shown empty and left untouched gets no records
        return flushHeldBack();
    SaveReport report = saveThings(m_pub.ShownDate, things);
    if (report.status == SaveReport::Status::TableFull && !hasContent(things)
        && m_pub.dayFile.table().recordsOfDay(oledate::fromDate(m_pub.ShownDate)).empty()) {
        // A full day book cannot take five empty records, and a day without records shows the
        // same: nothing is lost by leaving it, so the user is not held on it.
        Dirty = false;
        return flushHeldBack();
    }
    // The day book holds the day; what the disk still owes goes out with a later save.
    if (report.status == SaveReport::Status::OnDisk || report.status == SaveReport::Status::NotOnDisk
        || report.status == SaveReport::Status::Replaced)
        Dirty = false;
    return report;
}
