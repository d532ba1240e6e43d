#pragma once

#include "thingdecision.h"

#include <QString>
#include <optional>
#include <vector>

// The questions and messages the program puts to the user, behind one seam so that tests
// answer them. The program uses message boxes whose caption is the program's title.
class Prompts
{
public:
    virtual ~Prompts() = default;

    // Yes/No, no icon, Yes the default. True for Yes.
    virtual bool confirm(const QString &text) = 0;

    // Days could not be written at close: try again, close without them, or go back to the window.
    enum class FailedSave { Retry, Discard, Cancel };
    virtual FailedSave askAboutFailedSave(const QString &text) = 0;

    // A plain message with a single OK button.
    virtual void inform(const QString &text) = 0;

    // A password typed by the user (not shown as typed), or nothing when the user declined.
    virtual std::optional<QString> askPassword(const QString &text) = 0;

    // Things both copies of the day book changed differently (about is what they are copies of):
    // for each, what the user keeps, or nothing for one put off; no answer at all (an empty list)
    // when the user cancelled the question: nothing is decided now, and it may be asked again.
    virtual std::vector<std::optional<thingdecision::Choice>> resolveConflicts(const QString &about,
                                                                          const std::vector<thingdecision::Conflict> &conflicts) = 0;
};
