#pragma once

#include "prompts.h"
#include "timesource.h"

// What the window benchmarks give a main window instead of a user and the system clock.

// Nothing here asks the user anything; an unexpected question must not block the run.
class SilentPrompts final : public Prompts
{
public:
    bool confirm(const QString &) override { return false; }
    FailedSave askAboutFailedSave(const QString &) override { return FailedSave::Discard; }
    void inform(const QString &) override {}
    std::optional<QString> askPassword(const QString &) override { return std::nullopt; }
    std::vector<std::optional<thingdecision::Choice>> resolveConflicts(const QString &,
                                                                  const std::vector<thingdecision::Conflict> &) override
    {
        return {};
    }
};

// A clock that stays on the day it is set to, so "today" can be the day book's last day.
class SetTime final : public TimeSource
{
public:
    QDateTime now() const override { return m_now; }
    void setDay(QDate day) { m_now = QDateTime(day, QTime(12, 0)); }

private:
    QDateTime m_now = QDateTime::currentDateTime();
};
