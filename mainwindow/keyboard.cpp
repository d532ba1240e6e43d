// Keys for what the mouse does, without new menu entries or a new tab order, and the names a
// screen reader announces.
#include "frm_main.h"

#include "clickablelabel.h"
#include "markimage.h"
#include "thingedit.h"

#include <QPushButton>
#include <QShortcut>

void frm_main::buildKeyboardAndNames()
{
    const auto bind = [this](const QKeySequence &keys, auto handler) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, handler);
    };
    bind(QKeySequence(Qt::ALT | Qt::Key_Left), [this] { cmd_lastday_Click(); });
    bind(QKeySequence(Qt::ALT | Qt::Key_Right), [this] { cmd_nextday_Click(); });
    bind(QKeySequence(Qt::ALT | Qt::Key_Home), [this] { lbl_returntoday_Click(); });
    bind(QKeySequence(Qt::CTRL | Qt::Key_D), [this] { cmd_select_Click(); });
    for (int i = 0; i < 5; ++i)
        bind(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)), [this, i] { img_thingOK_Click(i); });

    setAccessibleDescription(QStringLiteral("Alt+← 前一天，Alt+→ 后一天，Alt+Home 返回今天，Ctrl+D 日历，"
                                            "Ctrl+S 保存，Ctrl+1 至 Ctrl+5 标注完成，Ctrl+F 查找，Ctrl+Z 撤销"));

    const auto name = [](QWidget *w, const QString &text, const QString &keys) {
        w->setAccessibleName(text);
        w->setAccessibleDescription(keys);
        if (w->toolTip().isEmpty())
            w->setToolTip(keys);
    };
    name(cmd_lastday, QStringLiteral("前一天"), QStringLiteral("Alt+←"));
    name(cmd_nextday, QStringLiteral("后一天"), QStringLiteral("Alt+→"));
    name(cmd_select, QStringLiteral("日历"), QStringLiteral("Ctrl+D"));
    name(lbl_returntoday, QStringLiteral("返回今天"), QStringLiteral("Alt+Home"));
    for (int i = 0; i < 5; ++i) {
        txt_things[size_t(i)]->setAccessibleName(Label1[size_t(i)]->text());
        txt_things[size_t(i)]->setAccessibleDescription(QStringLiteral("第%1件事").arg(i + 1));
        img_thingOK[size_t(i)]->setAccessibleName(QStringLiteral("第%1件事的完成标记").arg(i + 1));
        describeMark(i);
    }
}

void frm_main::describeMark(int index)
{
    const bool done = isDone(index);
    img_thingOK[size_t(index)]->setAccessibleDescription(
        QStringLiteral("%1，Ctrl+%2 %3")
            .arg(done ? QStringLiteral("已完成") : QStringLiteral("未完成"))
            .arg(index + 1)
            .arg(done ? QStringLiteral("取消完成") : QStringLiteral("标注完成")));
}
