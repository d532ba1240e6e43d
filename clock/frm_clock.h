#pragma once

#include <QLineF>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QTimer;
class TimeSource;

// The clock window: a digital readout and an analog dial whose hands follow the time source.
// Built and started at construction; closing it from the title bar destroys it.
class frm_clock : public QWidget
{
    Q_OBJECT

public:
    explicit frm_clock(const TimeSource &time, QWidget *parent = nullptr);

    // The hands as they are placed, tip to tail, in points of the client area.
    QLineF secondHand() const { return m_secondHand; }
    QLineF minuteHand() const { return m_minuteHand; }
    QLineF hourHand() const { return m_hourHand; }

public slots:
    // One tick of Timer1; public so that tests can tick without waiting.
    void Timer1_Timer();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void Form_Load();
    void placeHand(QLineF &hand, const QLineF &line, double widthPixels);
    void fitReadout();

    const TimeSource &m_time;
    QString m_timeFormat;
    QPixmap m_banner;
    QFrame *m_picture1 = nullptr;
    QLabel *m_lblTime = nullptr;
    QTimer *m_timer1 = nullptr;

    int LastSecond = 0;
    int LastMinute = 0;
    int LastHour = 0;
    QLineF m_secondHand;
    QLineF m_minuteHand;
    QLineF m_hourHand;
};
