#pragma once

#include <QDateTime>

// "Now", as the windows and the day book see it. The program passes the system clock; tests pass
// a clock they can set and move across midnight.
class TimeSource
{
public:
    virtual ~TimeSource() = default;
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
};

class SystemTime final : public TimeSource
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
