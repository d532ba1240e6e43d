#pragma once

#include "heldfile.h"
#include "thingdecision.h"

#include <set>
#include <vector>

class FileOps;

// Things both sides changed, waiting for the user's choice: the other version stands in the day
// file, this computer's is held here, shown in its place (overlay) and never written over the
// file's (holdBack). Every change to the set is written at once into this computer's held file
// beside the day file (heldfile.h), so that a kill or a power cut loses nothing held, and the next
// start finds it again.
class HeldThings
{
public:
    explicit HeldThings(FileOps &ops) : m_ops(ops) {}

    // The day file whose things these are, by its real path: what its held file keeps is taken
    // back (at start-up). Before this, nothing is written.
    void open(const QString &dayFileRealPath);

    const std::vector<thingdecision::Conflict> &all() const { return m_held; }
    bool empty() const { return m_held.empty(); }
    size_t size() const { return m_held.size(); }
    bool holds(const ThingKey &key) const;
    std::set<ThingKey> keys() const;

    // A day to show: the held versions over the file's.
    void overlay(QDate day, DayThings &things) const;
    // A day to save: each held thing goes as the file has it (onFile), and the one given is held
    // as this computer's version instead; one made the same as the file's is let go.
    void holdBack(QDate day, DayThings &things, const DayThings &onFile);
    // The whole set, as a merge or the user's choices leave it.
    void replace(std::vector<thingdecision::Conflict> held);

    // Whether the set as it stands is in its file; when not, the last write's failure.
    bool isKept() const { return m_problem.ok(); }
    const IoResult &problem() const { return m_problem; }
    // Writes the set again where the last write failed; true when it is kept now.
    bool keep();
    QString path() const { return m_path; }

private:
    void changed();

    FileOps &m_ops;
    QString m_path;
    std::vector<thingdecision::Conflict> m_held;
    quint64 m_sequence = 0;
    IoResult m_problem;
};
