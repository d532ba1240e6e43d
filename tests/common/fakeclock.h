#pragma once

#include "timesource.h"

// A clock that stands still until the test moves it.
class FakeClock final : public TimeSource
{
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2013, 5, 17), QTime(9, 30, 0)))
        : m_now(std::move(start)) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &when) { m_now = when; }
    void advanceSecs(qint64 secs) { m_now = m_now.addSecs(secs); }

private:
    QDateTime m_now;
};
