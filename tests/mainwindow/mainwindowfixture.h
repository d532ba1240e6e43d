#pragma once

#include "dayfile.h"
#include "fakeclock.h"
#include "fakeprompts.h"
#include "faultyops.h"
#include "frm_main.h"
#include "markimage.h"
#include "slotimage.h"
#include "thingedit.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// Types text as a keyboard would, one character per key event, whatever its script.
inline void typeText(QWidget *w, const QString &text)
{
    for (QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// One main window on a day file in a fresh temporary folder, started at a chosen moment; its
// disk fails every call from failDiskFrom on (0: never) until the test heals it, or refuses every
// write (readOnly). blankRecords blank slots follow the initial file, as a hole that costs no disk.
struct MainWindowFixture
{
    explicit MainWindowFixture(QDateTime now = QDateTime(QDate(2013, 5, 17), QTime(9, 30)),
                               const QByteArray *initialFile = nullptr, int failDiskFrom = 0, qint64 blankRecords = 0,
                               bool readOnly = false)
        : clock(std::move(now)), window(dayFile, disk, clock, prompts, [this](const QUrl &url) { mails << url; return true; })
    {
        if (initialFile || blankRecords > 0) {
            QFile f(path);
            if (f.open(QIODevice::WriteOnly) && initialFile)
                f.write(*initialFile);
            f.resize(f.size() + blankRecords * 200);
        }
        failDisk(failDiskFrom);
        disk.readOnly = readOnly;
        window.Form_Load();
    }

    // Every file-system call from the n-th on fails; 0 heals the disk.
    void failDisk(int n)
    {
        disk.persistent = true;
        disk.reset(n);
    }

    ThingEdit *box(int i) const { return window.findChild<ThingEdit *>(QStringLiteral("txt_things_%1").arg(i)); }
    MarkImage *mark(int i) const { return window.findChild<MarkImage *>(QStringLiteral("img_thingOK_%1").arg(i)); }
    QLabel *label(const char *name) const { return window.findChild<QLabel *>(QString::fromLatin1(name)); }
    QPushButton *button(const char *name) const { return window.findChild<QPushButton *>(QString::fromLatin1(name)); }
    QString caption() const { return label("lbl_today")->text(); }
    void click(const char *name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    void clickMark(int i) const { QTest::mouseClick(mark(i), Qt::LeftButton, {}, QPoint(10, 10)); }

    QByteArray file() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList texts() const
    {
        QStringList t;
        for (int i = 0; i < 5; ++i)
            t << box(i)->text();
        return t;
    }
    QStringList tags() const
    {
        QStringList t;
        for (int i = 0; i < 5; ++i)
            t << mark(i)->tag();
        return t;
    }

    static QString shortDate(QDate d) { return QLocale().toString(d, QLocale::ShortFormat); }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("things.dat"));
    FaultyOps disk; // fails nothing until a test says so
    DayFile dayFile{disk, path};
    FakeClock clock;
    FakePrompts prompts;
    QList<QUrl> mails;
    frm_main window;
};
