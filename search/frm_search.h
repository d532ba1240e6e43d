#pragma once

#include "thingsearch.h"

#include <QWidget>

class DayViewHost;
class FoundThingList;
class FoundThings;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTimer;
class DayTable;

// The search window: as the user types, every thing whose text holds the query, newest day
// first, with filters by completion and by a range of days. The shown day is searched as it
// stands on screen. Enter or a double-click on a row shows that day in the main window, with the
// match selected in its box; the window stays open, beside the main window, so that the user can
// step through the rows. The newest rows are shown as soon as they are known; the count follows
// as the older days are searched, between other events.
class frm_search : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ShownRows = 500;

    // A window of its own beside parent (the main window), which owns it.
    frm_search(const DayTable &table, DayViewHost &host, QWidget *parent = nullptr);

    // Shows the window (the first time beside the main window, later where the user left it),
    // brings it forward and selects the query for typing over it.
    void showAndFocusQuery();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

private:
    void buildControls();
    void txt_query_Change();
    SearchFilter filter() const;
    // Searches until the rows are known, shows them, and searches on for the count later.
    void search(int currentRow = 0);
    void searchMore();
    void showResults(int currentRow = 0);
    QString statusText(const ThingSearch::Page &page) const;
    void openRow(int row);

    const DayTable &m_table;
    DayViewHost &m_host;
    ThingSearch m_search;
    FoundThings *m_found = nullptr;
    QTimer *m_more = nullptr;
    bool m_placed = false;

    QLineEdit *txt_query = nullptr;
    QComboBox *cbo_done = nullptr;
    QCheckBox *chk_from = nullptr;
    QDateEdit *dtp_from = nullptr;
    QCheckBox *chk_to = nullptr;
    QDateEdit *dtp_to = nullptr;
    FoundThingList *lst_results = nullptr;
    QLabel *lbl_status = nullptr;
};
