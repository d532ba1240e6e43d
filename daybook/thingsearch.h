#pragma once

#include "daytable.h"
#include "daythings.h"
#include "thingpattern.h"

#include <QDate>
#include <QStringView>
#include <array>
#include <vector>

enum class DoneFilter { All, NotDone, Done };

struct SearchFilter
{
    DoneFilter done = DoneFilter::All;
    QDate from; // a null date leaves that end of the range open
    QDate to;
};

// The things whose text holds a query, for the search window. What matches the text is kept as
// one bit per record; the filters and the order, newest day first, are applied when the results
// are read, so changing a filter never scans the texts again. The shown day is searched as the
// main window shows it (setShownDay), saved or not, in place of its records.
//
// A search goes from the newest records back: once the newest results are known for sure (no
// record left could be newer), they can be shown while the rest is searched for the count, a
// piece at a time between other events (searchMore).
class ThingSearch
{
public:
    explicit ThingSearch(const DayTable &table);

    // Starts a search for query. When query only narrows the previous query and the table has not
    // changed since, only the previous matches are looked at again, as far as it got.
    void setQuery(QStringView query);
    // Starts again with every record, after the table changed.
    void refresh();
    // Searches on, newest records first, until the newest limit results under filter are known
    // for sure, or nothing is left.
    void searchUntilSettled(const SearchFilter &filter, qsizetype limit);
    // Searches some more of what is left; false when nothing is left.
    bool searchMore(qint32 records = 200'000);
    void searchAll();
    bool isComplete() const { return m_left == 0; }
    const ThingQuery &query() const { return m_query; }
    bool isStale() const { return m_tableChanges != m_table.changes(); }

    // The main window's day as it stands on screen; its records are searched no more.
    void setShownDay(QDate day, const DayThings &things);

    // One thing found: a record of the table, or (record 0) a thing of the shown day.
    struct Hit
    {
        QDate day;
        qint32 thingNo = 0;
        qint32 record = 0;
    };
    struct Page
    {
        qint64 total = 0;      // every thing that passes the filter (so far, while not complete)
        std::vector<Hit> hits; // the newest of them, at most the limit asked for
        bool complete = true;  // every record was searched
        bool settled = true;   // the hits are the newest there are, whatever the rest holds
    };
    // Newest day first; within a day by position, then the later record first.
    Page results(const SearchFilter &filter, qsizetype limit) const;

    // The shown day's thing number (1 to 5) as searched.
    const ThingInput &shownThing(qint32 thingNo) const { return m_shown[size_t(thingNo - 1)]; }
    QByteArrayView shownText(qint32 thingNo) const { return m_shownTexts[size_t(thingNo - 1)]; }

private:
    // Records whose texts lie one after the other in the table's buffer.
    struct Run
    {
        qint32 first;
        qint32 last;
    };
    void start();
    void searchRecords(qint32 first, qint32 last);
    void scanRuns(qint32 firstRecord, qint32 lastRecord);
    void narrow(qint32 first, qint32 last);
    // What the scans need to know of the table, worked out again when it changes.
    void learnTable();

    const DayTable &m_table;
    ThingQuery m_query;
    std::vector<quint64> m_found;     // bit (index - 1): record index matches
    std::vector<quint64> m_earlier;   // while narrowing: the matches of the query it narrows
    qint32 m_earlierLeft = 0;         // ... which did not get to records 1 to m_earlierLeft
    qint32 m_left = 0;                // records 1 to m_left are not searched yet
    std::vector<quint64> m_current;   // bit (index - 1): the record the day view shows (DayTable::find)
    std::vector<Run> m_runs;
    std::vector<double> m_latestDate; // per 64 records: the latest date of any record up to them
    quint64 m_learnedChanges = ~quint64(0);
    quint64 m_tableChanges = 0;

    double m_shownDay = -1;
    DayThings m_shown;
    std::array<QByteArray, 5> m_shownTexts; // GBK, as a save would store them
};
