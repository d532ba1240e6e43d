#include "dayfilelocation.h"
#include "fileops.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_DayFileLocation : public QObject
{
    Q_OBJECT

private slots:
    void followsTheProgramOrTheUser()
    {
        FileOps ops;
        QTemporaryDir home;
        const QString user = home.filePath(QStringLiteral("data/Tallyleaf"));
        const QString userFile = user + QStringLiteral("/things.dat");

        QTemporaryDir portable; // a writable folder of the user's own: a portable copy
        QCOMPARE(dayFilePathFor(ops, portable.path(), user), portable.filePath(QStringLiteral("things.dat")));

        // Installed: never write beside the program, even when this user could (root).
        QCOMPARE(dayFilePathFor(ops, QStringLiteral("/usr/bin"), user), userFile);
        QVERIFY(QFileInfo(user).isDir()); // made ready for the first save

        // A folder that cannot be written, such as a missing one, sends the file home too.
        QCOMPARE(dayFilePathFor(ops, home.filePath(QStringLiteral("gone")), user), userFile);

        // A day file already beside the program is used wherever the program is.
        QTemporaryDir existing;
        QFile f(existing.filePath(QStringLiteral("things.dat")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(QFile::setPermissions(existing.path(), QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(dayFilePathFor(ops, existing.path(), user), existing.filePath(QStringLiteral("things.dat")));
        QFile::setPermissions(existing.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

QTEST_GUILESS_MAIN(tst_DayFileLocation)
#include "tst_dayfilelocation.moc"
