#pragma once

#include "showndayfixture.h"
#include "slotimage.h"

#include <QTest>
#include <cstdio>

// The other computer's side of a shared folder: its copy of the day file, put in place of ours.
namespace othercomputer {

using namespace slotimage;

// Today, 17 May 2013: "review" and "mail"; tomorrow nothing.
inline QByteArray ourFile()
{
    return slot(0, 1, "review", false, Day41411) + slot(0, 2, "mail", false, Day41411) + slot(0, 3, "", false, Day41411)
        + slot(0, 4, "", false, Day41411) + slot(0, 5, "", false, Day41411);
}

// As a sync tool puts another computer's file in place: written beside, then renamed over ours.
inline void replaceWith(const ShownDayFixture &f, const QByteArray &theirs)
{
    const QString beside = f.folder.file(QStringLiteral(".things.dat.tmp"));
    QVERIFY(writeFile(beside, theirs));
    QVERIFY(::rename(QFile::encodeName(beside).constData(), QFile::encodeName(f.folder.path).constData()) == 0);
}

inline QByteArray withThing(QByteArray file, int slotNumber, const QByteArray &slotBytes)
{
    return file.replace((slotNumber - 1) * 200, 200, slotBytes);
}

} // namespace othercomputer

Q_DECLARE_METATYPE(std::optional<thingdecision::Choice>)
