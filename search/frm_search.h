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
class DayTable;

// The search window: as the user types, every thing whose text holds the query, newest day
// first, with filters by completion and by a range of days. Enter or a double-click on a row shows
// that day in the main window; the window stays open so that the user can step through the rows.
class frm_search : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ShownRows = 500;

    // A window of its own above parent (the main window), which owns it.
    frm_search(const DayTable &table, DayViewHost &host, QWidget *parent = nullptr);

    // Shows the window, brings it forward and selects the query for typing over it.
    void showAndFocusQuery();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

private:
    void buildControls();
    void txt_query_Change();
    SearchFilter filter() const;
    void showResults(int currentRow = 0);
    void openRow(int row);

    const DayTable &m_table;
    DayViewHost &m_host;
    ThingSearch m_search;
    FoundThings *m_found = nullptr;

    QLineEdit *txt_query = nullptr;
    QComboBox *cbo_done = nullptr;
    QCheckBox *chk_from = nullptr;
    QDateEdit *dtp_from = nullptr;
    QCheckBox *chk_to = nullptr;
    QDateEdit *dtp_to = nullptr;
    FoundThingList *lst_results = nullptr;
    QLabel *lbl_status = nullptr;
};
