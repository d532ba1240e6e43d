#pragma once

#include "prompts.h"

#include <QStringList>
#include <functional>

// Answers the program's questions as the test says, and remembers what was asked.
class FakePrompts final : public Prompts
{
public:
    bool answerYes = true;
    FailedSave failedSave = FailedSave::Discard;
    std::function<void()> whileAsked; // what happens while the user reads the question
    QStringList asked;
    QStringList retryTexts;
    QStringList informed;

    bool confirm(const QString &text) override
    {
        asked << text;
        return answerYes;
    }
    FailedSave askAboutFailedSave(const QString &text) override
    {
        retryTexts << text;
        if (whileAsked)
            whileAsked();
        return failedSave;
    }
    void inform(const QString &text) override { informed << text; }

    std::optional<QString> password; // the answer to every password question after passwordsInTurn
    std::vector<std::optional<QString>> passwordsInTurn; // the first answers, one a question
    std::optional<QString> askPassword(const QString &text) override
    {
        asked << text;
        if (!passwordsInTurn.empty()) {
            const std::optional<QString> answer = passwordsInTurn.front();
            passwordsInTurn.erase(passwordsInTurn.begin());
            return answer;
        }
        return password;
    }

    // The choices given for the next conflicts asked about (missing ones: put off).
    std::vector<std::optional<thingdecision::Choice>> choices;
    std::vector<thingdecision::Conflict> conflictsAsked;
    std::vector<std::optional<thingdecision::Choice>> resolveConflicts(const QString &about,
                                                                  const std::vector<thingdecision::Conflict> &conflicts) override
    {
        asked << about;
        conflictsAsked.insert(conflictsAsked.end(), conflicts.begin(), conflicts.end());
        if (whileAsked)
            whileAsked();
        return choices;
    }
};
