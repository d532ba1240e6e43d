#include "frm_search.h"

#include "artwork.h"
#include "besidewindow.h"
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
#include <QScreen>
#include <QShortcut>
#include <QTimer>

namespace {

// The window's first size, its margins and the room between controls, in twips.
constexpr double Width = 9000, Height = 7200, Margin = 150, Spacing = 90;
// The least it is made to fit beside the main window.
constexpr double MinimumWidth = 6000, MinimumHeight = 4500;

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
    // The older days are searched a piece at a time, with the window's events in between.
    m_more = new QTimer(this);
    m_more->setSingleShot(true);
    m_more->setInterval(0);
    connect(m_more, &QTimer::timeout, this, &frm_search::searchMore);
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
        connect(check, &QCheckBox::toggled, this, [this] { search(); });
        connect(edit, &QDateEdit::dateChanged, this, [this] { search(); });
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
    connect(cbo_done, &QComboBox::currentIndexChanged, this, [this] { search(); });
    connect(lst_results, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { openRow(index.row()); });
}

void frm_search::showAndFocusQuery()
{
    if (!m_placed && parentWidget()) {
        // Beside the main window, so that the day a row opens stays in sight; afterwards the window
        // stays where the user puts it.
        const QScreen *screen = parentWidget()->screen();
        const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(), size());
        const QSize frame = frameGeometry().size() - size(); // the window manager's, once known
        const QRect mainFrame = parentWidget()->frameGeometry();
        const SideBySide placed = placeSideBySide(mainFrame, size() + frame,
                                                  QSize(px(MinimumWidth), px(MinimumHeight)) + frame, available);
        if (placed.frame != mainFrame)
            parentWidget()->move(placed.frame.topLeft()); // a top-level window's position is its frame's
        resize(placed.beside.size() - frame);
        move(placed.beside.topLeft());
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
    txt_query->setFocus(Qt::ShortcutFocusReason);
    txt_query->selectAll();
}

void frm_search::txt_query_Change()
{
    m_search.setQuery(txt_query->text());
    search();
}

void frm_search::search(int currentRow)
{
    m_search.setShownDay(m_host.shownDate(), m_host.shownThings());
    if (m_search.isStale()) // days were written since the texts were searched
        m_search.refresh();
    m_search.searchUntilSettled(filter(), ShownRows);
    showResults(currentRow);
    if (!m_search.isComplete())
        m_more->start();
}

void frm_search::searchMore()
{
    if (m_search.isStale()) {
        search(lst_results->currentIndex().row());
        return;
    }
    if (m_search.searchMore())
        m_more->start();
    // The rows are the same; the count has grown, and is final once nothing is left.
    lbl_status->setText(statusText(m_search.results(filter(), ShownRows)));
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
    const ThingSearch::Page page = m_search.results(filter(), ShownRows);
    const ThingQuery &query = m_search.query();
    std::vector<FoundThing> rows;
    rows.reserve(page.hits.size());
    for (const ThingSearch::Hit &hit : page.hits) {
        // A thing of the shown day is shown as it stands on screen, saved or not.
        const bool shown = hit.record == 0;
        ThingQuery::Emphasis e =
            query.emphasise(shown ? m_search.shownText(hit.thingNo) : m_table.text(hit.record));
        const bool done = shown ? m_search.shownThing(hit.thingNo).done : m_table.isDone(hit.record);
        rows.push_back(FoundThing{hit.day, hit.thingNo, done, std::move(e.text), std::move(e.spans)});
    }
    m_found->setRows(std::move(rows));
    if (m_found->rowCount() > 0)
        lst_results->setCurrentIndex(m_found->index(std::clamp(currentRow, 0, m_found->rowCount() - 1)));
    lbl_status->setText(statusText(page));
    lst_results->setEmptyText(page.total == 0 && page.complete ? lbl_status->text() : QString());
}

QString frm_search::statusText(const ThingSearch::Page &page) const
{
    const ThingQuery &query = m_search.query();
    if (query.isUnmatchable())
        return QStringLiteral("没有找到：日记文件只能存放 GBK 字符，%1 不会出现在任何一件事里。")
            .arg(query.unstorable().join(QLatin1Char(' ')));
    if (query.isEmpty())
        return QStringLiteral("输入文字，查找所有日子里的事；用空格分开的词都要出现，引号里的词按原样查找。");
    const SearchFilter f = filter();
    const bool narrowed = f.done != DoneFilter::All || f.from.isValid() || f.to.isValid();
    if (!page.complete)
        return QStringLiteral("已找到 %1 件事，还在查找更早的日子……").arg(page.total);
    if (page.total == 0)
        return QStringLiteral("%1没有找到包含“%2”的事。")
            .arg(narrowed ? QStringLiteral("在所选的状态和日期里") : QString(), txt_query->text().trimmed());
    if (page.total > ShownRows)
        return QStringLiteral("找到 %1 件事，列出最近的 %2 件。").arg(page.total).arg(ShownRows);
    return QStringLiteral("找到 %1 件事。").arg(page.total);
}

void frm_search::openRow(int row)
{
    if (row < 0 || row >= m_found->rowCount())
        return;
    lst_results->setCurrentIndex(m_found->index(row));
    // A copy: going to the day writes the shown one, and the rows are then sought afresh.
    const FoundThing thing = m_found->thing(row);
    if (!m_host.goToDay(thing.day))
        return; // the write was refused: the main window stays, and has said why
    // The main window comes forward with the match selected; this window stays beside it, its
    // rows in sight, and the next row is a click away.
    const auto [first, count] = thing.matches.empty() ? std::pair<qsizetype, qsizetype>{0, 0} : thing.matches.front();
    m_host.selectInThing(thing.thingNo, first, count);
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
    // Back from the main window, where days may have been written or the shown day changed.
    if (event->type() == QEvent::WindowActivate)
        search(lst_results->currentIndex().row());
    return QWidget::event(event);
}
