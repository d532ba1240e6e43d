// The main window's day view: what the controller of the shown day reads from the boxes and
// marks, and shows in them.
#include "frm_main.h"

#include "daysurface.h"
#include "markimage.h"
#include "thingedit.h"
#include "units.h"

#include <QApplication>
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
    m_designShown = false;
}

void frm_main::showThings(const DayThings &things)
{
    for (size_t k = 0; k < things.size(); ++k) {
        // The box being typed in is left as it is while its text stays: it keeps its caret and its
        // selection. Changed under the caret (the book's version came in), it keeps the caret where
        // it was, as far as the new text reaches.
        ThingEdit *box = txt_things[k];
        if (!box->hasFocus()) {
            box->setThingText(things[k].text);
        } else if (box->text() != things[k].text) {
            const int caret = box->cursorPosition();
            box->setThingText(things[k].text);
            box->setCursorPosition(std::min(caret, int(things[k].text.size())));
        }
        setMark(int(k), things[k].done);
    }
    m_designShown = false;
    // Painted before control returns. Keys and the network wait until then: a key typed now
    // would be taken as written into the day just shown, and a sync could come back in midway.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

void frm_main::showCaption(const QString &caption)
{
    lbl_today->setText(caption);
}

void frm_main::beep()
{
    QApplication::beep();
}

void frm_main::setReadOnly(bool readOnly)
{
    for (ThingEdit *box : txt_things)
        box->setReadOnly(readOnly);
    for (MarkImage *mark : img_thingOK)
        mark->setCursor(readOnly ? Qt::ArrowCursor : Qt::PointingHandCursor);
    // Said once, where it stays in sight without changing the layout.
    setWindowTitle(readOnly ? Title + QStringLiteral("（只读）") : Title);
}

void frm_main::draw_frame(QWidget *control)
{
    // The control's edges in points; the frame sits 4 points outside, the white 3 points outside.
    const QRectF px(control->geometry());
    const QRectF r(px.topLeft() / units::PixelsPerPoint, px.size() / units::PixelsPerPoint);
    m_surface->drawOutline(r.topLeft() - QPointF(4, 4), r.bottomRight() + QPointF(4, 4), FrameBlue);
    m_surface->drawOutline(r.topLeft() - QPointF(3, 3), r.bottomRight() + QPointF(3, 3), Qt::white);
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
