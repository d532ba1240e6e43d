#include "outsidechanges.h"

#include "shownday.h"

#include <map>

SaveReport outsidechanges::bringIn(ShownDay &day, const std::vector<ThingChange> &changes)
{
    if (day.folder().replacedOnDisk()) {
        [[maybe_unused]] const bool merged = day.folder().catchUp(); // a refusal was told
        SaveReport replaced;
        replaced.status = SaveReport::Status::Replaced;
        replaced.why = SaveReport::Why::OtherFile;
        return replaced;
    }
    const QDate shown = day.shownDate();
    std::map<QDate, DayThings> days;
    for (const ThingChange &change : changes) {
        const auto [things, fresh] = days.try_emplace(change.day);
        if (fresh) // the shown day with what the view holds, any other as it would be shown
            things->second = change.day == shown ? day.shownThings() : day.bookThings(change.day);
        things->second[size_t(change.number - 1)] = change.thing;
    }
    const SaveReport report = day.saveDays({days.begin(), days.end()});
    if (report.status != SaveReport::Status::OnDisk && report.status != SaveReport::Status::NotOnDisk)
        return report;
    if (days.count(shown))
        day.showWrittenDay(shown); // the view's edits went in with the change
    else
        day.showWhatTheBookHolds();
    return report;
}
