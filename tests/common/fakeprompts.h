#pragma once

#include "prompts.h"

#include <QStringList>

// Answers the program's questions as the test says, and remembers what was asked.
class FakePrompts final : public Prompts
{
public:
    bool answerYes = true;
    bool answerRetry = false;
    QStringList asked;
    QStringList retryTexts;
    QStringList informed;

    bool confirm(const QString &text) override
    {
        asked << text;
        return answerYes;
    }
    bool retryFailedSave(const QString &text) override
    {
        retryTexts << text;
        return answerRetry;
    }
    void inform(const QString &text) override { informed << text; }
};
