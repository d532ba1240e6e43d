#include "conflictdialog.h"

#include "fonts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { Day, Number, Mine, Theirs, Keep };

QString version(const ThingInput &thing)
{
    const QString text = thing.text.isEmpty() ? QStringLiteral("（空）") : thing.text;
    return (thing.done ? QStringLiteral("√ ") : QStringLiteral("   ")) + text;
}

} // namespace

ConflictDialog::ConflictDialog(const QString &about, const std::vector<thingdecision::Conflict> &conflicts, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dlg_conflicts"));
    setWindowTitle(QStringLiteral("两边都改过的事"));
    setFont(fonts::windowDefault());

    auto *intro = new QLabel(about, this);
    intro->setWordWrap(true);

    auto *table = new QTableWidget(int(conflicts.size()), 5, this);
    table->setObjectName(QStringLiteral("tbl_conflicts"));
    table->setHorizontalHeaderLabels(
        {QStringLiteral("日期"), QStringLiteral("第几件"), QStringLiteral("这台电脑"), QStringLiteral("另一份"), QStringLiteral("保留")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    bool someDoNotFit = false;
    for (int row = 0; row < int(conflicts.size()); ++row) {
        const thingdecision::Conflict &c = conflicts[size_t(row)];
        table->setItem(row, Day, new QTableWidgetItem(QLocale().toString(c.key.day, QLocale::ShortFormat)));
        table->setItem(row, Number, new QTableWidgetItem(QString(QChar(0x2460 + c.key.number - 1))));
        table->setItem(row, Mine, new QTableWidgetItem(version(c.mine)));
        table->setItem(row, Theirs, new QTableWidgetItem(c.theirs ? version(*c.theirs) : QStringLiteral("（已删除）")));
        auto *keep = new QComboBox(table);
        keep->setObjectName(QStringLiteral("cbo_keep_%1").arg(row));
        keep->addItem(QStringLiteral("以后再说"));
        keep->addItem(QStringLiteral("这台电脑的"), int(thingdecision::Choice::Mine));
        keep->addItem(QStringLiteral("另一份的"), int(thingdecision::Choice::Theirs));
        // The other version holds what no box can (a character without a GBK form, too long).
        if (thingdecision::settle(c, thingdecision::Choice::Theirs).conflict())
            qobject_cast<QStandardItemModel *>(keep->model())->item(2)->setEnabled(false);
        if (!thingdecision::settle(c, thingdecision::Choice::Both).tooLongToJoin) {
            keep->addItem(QStringLiteral("两个都要"), int(thingdecision::Choice::Both));
        } else {
            keep->addItem(QStringLiteral("两个都要（放不下）"), int(thingdecision::Choice::Both));
            // A box holds 160 bytes: both together do not fit, so the choice stays with the user.
            qobject_cast<QStandardItemModel *>(keep->model())->item(3)->setEnabled(false);
            someDoNotFit = true;
        }
        keep->setAccessibleName(QStringLiteral("第%1行保留哪一份").arg(row + 1));
        table->setCellWidget(row, Keep, keep);
        m_choices.push_back(keep);
    }
    table->horizontalHeader()->setSectionResizeMode(Mine, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(Theirs, QHeaderView::Stretch);
    table->resizeColumnsToContents();

    auto *note = new QLabel(someDoNotFit ? QStringLiteral("有的事两份合在一起超出了一格能存的 160 字节，不能都要，"
                                                         "请选择其中一份，或先改短再合并。")
                                         : QString(),
                            this);
    note->setObjectName(QStringLiteral("lbl_doesNotFit"));
    note->setWordWrap(true);
    note->setVisible(someDoNotFit);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(table, 1);
    layout->addWidget(note);
    layout->addWidget(buttons);
    resize(760, 200 + 32 * int(std::min<size_t>(conflicts.size(), 10)));
}

std::vector<std::optional<thingdecision::Choice>> ConflictDialog::choices() const
{
    std::vector<std::optional<thingdecision::Choice>> chosen;
    if (result() != QDialog::Accepted)
        return chosen;
    for (const QComboBox *keep : m_choices) {
        const QVariant data = keep->currentData();
        chosen.push_back(data.isValid() ? std::optional(thingdecision::Choice(data.toInt())) : std::nullopt);
    }
    return chosen;
}
