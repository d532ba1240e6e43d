#include "frm_search.h"

#include "artwork.h"
#include "dayviewhost.h"
#include "fonts.h"
#include "foundthings.h"
#include "daytable.h"
#include "oledate.h"
#include "units.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>

namespace {

// The window's first size, its margins and the room between controls, in twips.
constexpr double Width = 9000, Height = 7200, Margin = 150, Spacing = 90;

int px(double twips)
{
    return int(units::twipsToPixels(twips));
}

} // namespace

frm_search::frm_search(const DayTable &table, DayViewHost &host, QWidget *parent)
    : QWidget(parent, Qt::Window), m_table(table), m_host(host), m_search(table)
{
    setObjectName(QStringLiteral("frm_search"));
    setWindowTitle(QStringLiteral("查找"));
    setWindowIcon(artwork::programIcon());
    setFont(fonts::windowDefault());
    buildControls();
    resize(px(Width), px(Height));

    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &frm_search::showAndFocusQuery);
    showResults();
}

void frm_search::buildControls()
{
    txt_query = new QLineEdit(this);
    txt_query->setObjectName(QStringLiteral("txt_query"));
    txt_query->setFont(fonts::font(fonts::Face::SimSun, 12));
    txt_query->setPlaceholderText(QStringLiteral("输入要查找的文字"));
    txt_query->setAccessibleName(QStringLiteral("查找内容"));
    txt_query->setClearButtonEnabled(true);
    txt_query->installEventFilter(this);

    cbo_done = new QComboBox(this);
    cbo_done->setObjectName(QStringLiteral("cbo_done"));
    cbo_done->addItems({QStringLiteral("全部"), QStringLiteral("未完成"), QStringLiteral("已完成")});
    cbo_done->setAccessibleName(QStringLiteral("完成状态"));

    // The range is off until its box is ticked; the dates start at the shown day.
    const auto dateFilter = [this](QCheckBox *&check, QDateEdit *&edit, const char *checkName, const char *editName,
                                   const QString &caption, const QString &name) {
        check = new QCheckBox(caption, this);
        check->setObjectName(QString::fromLatin1(checkName));
        check->setAccessibleName(QStringLiteral("限定") + name);
        edit = new QDateEdit(m_host.shownDate(), this);
        edit->setObjectName(QString::fromLatin1(editName));
        edit->setAccessibleName(name);
        edit->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
        edit->setDateRange(oledate::firstDate(), oledate::lastDate());
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
        connect(check, &QCheckBox::toggled, edit, &QWidget::setEnabled);
        connect(check, &QCheckBox::toggled, this, [this] { showResults(); });
        connect(edit, &QDateEdit::dateChanged, this, [this] { showResults(); });
    };
    dateFilter(chk_from, dtp_from, "chk_from", "dtp_from", QStringLiteral("从"), QStringLiteral("起始日期"));
    dateFilter(chk_to, dtp_to, "chk_to", "dtp_to", QStringLiteral("到"), QStringLiteral("截止日期"));

    m_found = new FoundThings(this);
    lst_results = new FoundThingList(this);
    lst_results->setObjectName(QStringLiteral("lst_results"));
    lst_results->setAccessibleName(QStringLiteral("查找结果"));
    lst_results->setFont(fonts::font(fonts::Face::SimSun, 10.5));
    lst_results->setModel(m_found);
    lst_results->setItemDelegate(new FoundThingDelegate(lst_results));
    lst_results->setUniformItemSizes(true); // 500 rows are laid out without measuring each
    lst_results->setSelectionMode(QAbstractItemView::SingleSelection);
    lst_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lst_results->installEventFilter(this);

    lbl_status = new QLabel(this);
    lbl_status->setObjectName(QStringLiteral("lbl_status"));

    auto *queryLabel = new QLabel(QStringLiteral("查找："), this);
    queryLabel->setBuddy(txt_query);
    auto *doneLabel = new QLabel(QStringLiteral("状态："), this);
    doneLabel->setBuddy(cbo_done);

    auto *queryRow = new QHBoxLayout;
    queryRow->addWidget(queryLabel);
    queryRow->addWidget(txt_query, 1);
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(doneLabel);
    filterRow->addWidget(cbo_done);
    filterRow->addSpacing(px(3 * Spacing));
    filterRow->addWidget(chk_from);
    filterRow->addWidget(dtp_from);
    filterRow->addSpacing(px(Spacing));
    filterRow->addWidget(chk_to);
    filterRow->addWidget(dtp_to);
    filterRow->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(px(Margin), px(Margin), px(Margin), px(Margin));
    layout->setSpacing(px(Spacing));
    layout->addLayout(queryRow);
    layout->addLayout(filterRow);
    layout->addWidget(lst_results, 1);
    layout->addWidget(lbl_status);

    connect(txt_query, &QLineEdit::textChanged, this, &frm_search::txt_query_Change);
    connect(cbo_done, &QComboBox::currentIndexChanged, this, [this] { showResults(); });
    connect(lst_results, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { openRow(index.row()); });
}

void frm_search::showAndFocusQuery()
{
    if (!isVisible() && parentWidget()) // first shown over the middle of the main window
        move(parentWidget()->frameGeometry().center() - rect().center());
    show();
    raise();
    activateWindow();
    txt_query->setFocus(Qt::ShortcutFocusReason);
    txt_query->selectAll();
}

void frm_search::txt_query_Change()
{
    m_search.setQuery(txt_query->text());
    showResults();
}

SearchFilter frm_search::filter() const
{
    SearchFilter f;
    f.done = DoneFilter(cbo_done->currentIndex());
    if (chk_from->isChecked())
        f.from = dtp_from->date();
    if (chk_to->isChecked())
        f.to = dtp_to->date();
    return f;
}

void frm_search::showResults(int currentRow)
{
    if (m_search.isStale()) // days were written since the texts were searched
        m_search.refresh();
    const SearchFilter f = filter();
    const bool narrowed = f.done != DoneFilter::All || f.from.isValid() || f.to.isValid();
    const ThingSearch::Page page = m_search.results(f, ShownRows);
    const DayTable &table = m_table;
    std::vector<FoundThing> rows;
    rows.reserve(page.records.size());
    for (qint32 index : page.records) {
        ThingPattern::Emphasis e = m_search.pattern().emphasise(table.text(index));
        rows.push_back(FoundThing{*oledate::toDate(table.thingDate(index)), table.thingNo(index),
                                  table.isDone(index), std::move(e.text), std::move(e.spans)});
    }
    m_found->setRows(std::move(rows));
    if (m_found->rowCount() > 0)
        lst_results->setCurrentIndex(m_found->index(std::clamp(currentRow, 0, m_found->rowCount() - 1)));

    if (m_search.pattern().isEmpty())
        lbl_status->setText(QStringLiteral("输入文字，查找所有日子里的事。"));
    else if (page.total == 0)
        lbl_status->setText(QStringLiteral("%1没有找到包含“%2”的事。")
                                .arg(narrowed ? QStringLiteral("在所选的状态和日期里") : QString(),
                                     txt_query->text().trimmed()));
    else if (page.total > ShownRows)
        lbl_status->setText(QStringLiteral("找到 %1 件事，列出最近的 %2 件。").arg(page.total).arg(ShownRows));
    else
        lbl_status->setText(QStringLiteral("找到 %1 件事。").arg(page.total));
    lst_results->setEmptyText(page.total == 0 ? lbl_status->text() : QString());
}

void frm_search::openRow(int row)
{
    if (row < 0 || row >= m_found->rowCount())
        return;
    lst_results->setCurrentIndex(m_found->index(row));
    if (!m_host.goToDay(m_found->thing(row).day))
        return; // the write was refused: the main window stays, and has said why
    // Stay in front, so that the next row is one key away.
    raise();
    activateWindow();
}

bool frm_search::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (watched == txt_query && key->key() == Qt::Key_Down && m_found->rowCount() > 0) {
        lst_results->setFocus(Qt::TabFocusReason);
        if (!lst_results->currentIndex().isValid())
            lst_results->setCurrentIndex(m_found->index(0));
        return true;
    }
    if (watched == txt_query && enter) {
        openRow(0);
        return true;
    }
    if (watched == lst_results && enter) {
        openRow(lst_results->currentIndex().row());
        return true;
    }
    if (watched == lst_results && key->key() == Qt::Key_Up && lst_results->currentIndex().row() <= 0) {
        txt_query->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Coming back from the main window, where days may have been written: the rows are sought again,
// keeping the place in the list.
bool frm_search::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && m_search.isStale())
        showResults(lst_results->currentIndex().row());
    return QWidget::event(event);
}
