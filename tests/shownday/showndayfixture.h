#pragma once

#include "closing.h"
#include "daycommands.h"
#include "dayfile.h"
#include "dayfolder.h"
#include "dayview.h"
#include "fakeclock.h"
#include "fakeprompts.h"
#include "faultyops.h"
#include "filebytes.h"
#include "outsidechanges.h"
#include "shownday.h"

#include <QFile>
#include <QStringList>

// The day view as a test holds it: five things and a caption. Filling it marks the day dirty, as
// the window's boxes do through their change events.
class FakeView final : public DayView
{
public:
    ShownDay *day = nullptr;
    DayThings things;
    QString caption;
    int beeps = 0;
    bool readOnly = false;

    DayThings viewThings() const override { return things; }
    void showThings(const DayThings &shown) override
    {
        things = shown;
        day->markDirty();
    }
    void showCaption(const QString &text) override { caption = text; }
    void beep() override { ++beeps; }
    void setReadOnly(bool only) override { readOnly = only; }

    // What the user does in the window.
    void type(int i, const QString &text)
    {
        things[size_t(i)].text += text;
        day->markDirty();
    }
    void setText(int i, const QString &text)
    {
        things[size_t(i)].text = text;
        day->markDirty();
    }
    void tick(int i)
    {
        things[size_t(i)].done = !things[size_t(i)].done;
        day->markDirty();
    }
    QStringList texts() const
    {
        QStringList t;
        for (const ThingInput &thing : things)
            t << thing.text;
        return t;
    }
    QList<bool> ticks() const
    {
        QList<bool> t;
        for (const ThingInput &thing : things)
            t << thing.done;
        return t;
    }
};

// The shown day on a day file in a fresh temporary folder, started at a chosen moment as the
// window starts it; its disk fails every call from failDiskFrom on (0: never) until the test heals
// it. blankRecords blank slots follow the initial file, as a hole that costs no disk.
struct ShownDayFixture
{
    explicit ShownDayFixture(QDateTime now = QDateTime(QDate(2013, 5, 17), QTime(9, 30)),
                             const QByteArray &initialFile = {}, int failDiskFrom = 0, qint64 blankRecords = 0)
        : clock(std::move(now))
    {
        if (!initialFile.isEmpty() || blankRecords > 0) {
            QFile f(folder.path);
            if (f.open(QIODevice::WriteOnly))
                f.write(initialFile);
            f.resize(f.size() + blankRecords * 200);
        }
        view.day = &day;
        failDisk(failDiskFrom);
        day.start();
        day.tellWhatTheLoadFound();
    }

    // Every file-system call from the n-th on fails; 0 heals the disk.
    void failDisk(int n)
    {
        disk.persistent = true;
        disk.reset(n);
    }
    QByteArray file() const
    {
        QFile f(folder.path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool mayClose() { return closing::mayClose(day, prompts); }

    DayFolder folder;
    FaultyOps disk; // fails nothing until a test says so
    FakeClock clock;
    FakePrompts prompts;
    FakeView view;
    DayFile dayFile{disk, folder.path};
    ShownDay day{dayFile, disk, clock, prompts, view};
    DayCommands commands{day, prompts};
};

// The program started again on the fixture's day file, as after a close, a kill or a power cut.
struct NextStart
{
    explicit NextStart(const ShownDayFixture &first) : folder(first.folder)
    {
        view.day = &day;
        day.start();
    }
    QByteArray file() const
    {
        QFile f(folder.path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    const DayFolder &folder;
    FileOps disk;
    FakeClock clock{QDateTime(QDate(2013, 5, 17), QTime(9, 30))};
    FakePrompts prompts;
    FakeView view;
    DayFile dayFile{disk, folder.path};
    ShownDay day{dayFile, disk, clock, prompts, view};
};
