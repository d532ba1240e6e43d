// The held things' file: a crash anywhere in a write (the process killed, or the power cut with
// any of the unsynced sectors and folder entries lost) leaves the set before the write or the set
// after it, and a write that returned done is never taken back.
#include "heldfile.h"

#include "../daybook/pagecacheops.h"

#include <QTest>

namespace {

const QString Path = QStringLiteral("/day/things.dat.held-test");

heldfile::Set setOf(quint64 sequence, const QStringList &mine)
{
    heldfile::Set set{sequence, {}};
    for (int i = 0; i < mine.size(); ++i)
        set.held.push_back({{QDate(2013, 5, 17), i + 1}, ThingInput{QStringLiteral("agreed")}, ThingInput{mine[i], i == 0},
                            ThingInput{QStringLiteral("theirs")}, QByteArrayLiteral("v1")});
    return set;
}

QStringList mineOf(const heldfile::Set &set)
{
    QStringList mine;
    for (const thingdecision::Conflict &c : set.held)
        mine << c.mine.text + (c.mine.done ? QStringLiteral(" √") : QString());
    return mine;
}

} // namespace

class tst_HeldFile : public QObject
{
    Q_OBJECT

private slots:
    void aSetReadsBackAsWritten();
    void aCrashLeavesTheSetBeforeOrAfter_data();
    void aCrashLeavesTheSetBeforeOrAfter();
};

void tst_HeldFile::aSetReadsBackAsWritten()
{
    heldfile::Set set = setOf(7, {QStringLiteral("派对🎉 mine"), QString()});
    set.held[1].base.reset();
    set.held[1].theirs.reset();
    const std::optional<heldfile::Set> back = heldfile::decode(heldfile::encode(set));
    QVERIFY(back);
    QCOMPARE(back->sequence, quint64(7));
    QCOMPARE(mineOf(*back), mineOf(set));
    QVERIFY(!back->held[1].base && !back->held[1].theirs);
    QCOMPARE(*back->held[0].theirs, ThingInput{QStringLiteral("theirs")});
    QCOMPARE(back->held[0].theirVersion, QByteArrayLiteral("v1"));
    QByteArray damaged = heldfile::encode(set);
    damaged[damaged.size() - 3] = 'x';
    QVERIFY(!heldfile::decode(damaged));
    QVERIFY(!heldfile::decode(heldfile::encode(set).chopped(10)));
}

void tst_HeldFile::aCrashLeavesTheSetBeforeOrAfter_data()
{
    QTest::addColumn<QStringList>("after"); // empty: the last thing decided, the file removed
    QTest::addColumn<int>("loss");          // -1: the process killed; else a PageCacheOps::Loss
    QTest::addColumn<quint32>("seed");
    const QStringList changed{QStringLiteral("mine, typed again"), QStringLiteral("second")};
    for (const auto &[name, after] : {std::pair{"replaced", changed}, std::pair{"removed", QStringList{}}}) {
        QTest::addRow("%s, killed", name) << after << -1 << 0u;
        QTest::addRow("%s, power cut, nothing unsynced kept", name) << after << int(PageCacheOps::Loss::Everything) << 0u;
        for (quint32 seed = 1; seed <= 16; ++seed)
            QTest::addRow("%s, power cut, some kept (%u)", name, seed) << after << int(PageCacheOps::Loss::Random) << seed;
    }
}

// At every point of the write. The set read after the crash is read again after a second power
// cut: finishing a write cut short never loses it either.
void tst_HeldFile::aCrashLeavesTheSetBeforeOrAfter()
{
    QFETCH(QStringList, after);
    QFETCH(int, loss);
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const QStringList before{QStringLiteral("mine")};
    for (int crashAfter = 0;; ++crashAfter) {
        PageCacheOps ops;
        QVERIFY(heldfile::write(ops, Path, setOf(1, before)).ok());
        ops.resetCounters();
        ops.crashAfter = crashAfter;
        const bool done = heldfile::write(ops, Path, setOf(2, after)).ok();
        const bool finished = !ops.crashed();
        if (loss < 0)
            ops.kill();
        else
            ops.powerCut(PageCacheOps::Loss(loss), random);
        const QStringList read = mineOf(heldfile::read(ops, Path));
        QVERIFY2(read == mineOf(setOf(0, after)) || (!done && read == QStringList{"mine √"}),
                 qPrintable(QStringLiteral("crash after %1 calls: %2").arg(crashAfter).arg(read.join(u'|'))));
        ops.powerCut(PageCacheOps::Loss::Random, random);
        QCOMPARE(mineOf(heldfile::read(ops, Path)), read);
        if (finished)
            break;
    }
}

QTEST_GUILESS_MAIN(tst_HeldFile)
#include "tst_heldfile.moc"
