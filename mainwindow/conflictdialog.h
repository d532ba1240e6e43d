#pragma once

#include "thingdecision.h"

#include <QDialog>
#include <optional>
#include <vector>

class QComboBox;

// The things two copies of the day book changed differently, one row each: the day, the thing's
// number, both versions with their ticks, and what to keep: this computer's, the other's, both
// joined in the box (offered only where they fit its 160 bytes), or a decision put off (以后再说).
// Cancel decides nothing, not even the rows already set: the question may come again. Until the
// user chooses, neither version is lost.
class ConflictDialog : public QDialog
{
    Q_OBJECT

public:
    ConflictDialog(const QString &about, const std::vector<thingdecision::Conflict> &conflicts, QWidget *parent = nullptr);

    // For each conflict, what the user chose, nothing where the decision was put off; no answer at
    // all (an empty list) when the dialog was cancelled.
    std::vector<std::optional<thingdecision::Choice>> choices() const;

private:
    std::vector<QComboBox *> m_choices;
};
