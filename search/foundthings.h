#pragma once

#include <QAbstractListModel>
#include <QDate>
#include <QListView>
#include <QStyledItemDelegate>
#include <utility>
#include <vector>

// One row of the search window: a thing with its day, and where the query matched its text.
struct FoundThing
{
    QDate day;
    qint32 thingNo = 0;
    bool done = false;
    QString text;
    std::vector<std::pair<qsizetype, qsizetype>> matches; // (first character, character count)
};

// The rows the search window shows. Each row carries its own copy of what it shows, so a row stays
// usable whatever happens to the table afterwards.
class FoundThings : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void setRows(std::vector<FoundThing> rows);
    const FoundThing &thing(int row) const { return m_rows[size_t(row)]; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // The day in the user's short date format, as every window of the program writes it.
    static QString dateText(QDate day);
    // ①…⑤
    static QString numberText(qint32 thingNo);

private:
    std::vector<FoundThing> m_rows;
};

// Draws a row as columns: date, number, "√" for done, then the text with its matches in bold on a
// light marker colour. One line a row, so every row has the same height.
class FoundThingDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// The results list, which says in its middle why it is empty.
class FoundThingList : public QListView
{
    Q_OBJECT

public:
    using QListView::QListView;
    void setEmptyText(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_emptyText;
};
