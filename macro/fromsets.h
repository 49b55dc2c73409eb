#pragma once

#include <QString>

class QAbstractButton;
class QWidget;

// Putting a recorded step back into its tool window: each stored value into its field, in the
// tool's fill order, as the program sets fields (a range line set this way stands until Go checks
// it; no field's typing rules run). Option items set only when they read True (choosing one turns
// the others of its group off); the range lines only when the step chose "From Line".
namespace fromSets {

struct Filled
{
    // The button that runs the step; null when the step names none (a Replace mode outside 1 to 5).
    QAbstractButton *button = nullptr;
    // Why the step cannot be put into the window (an item missing or unreadable, a field the
    // window lacks, a value longer than its field takes); nothing was set then.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Fills `window`, already open, from a step of `stepName` with the settings text `settings`.
Filled fill(QWidget &window, const QString &stepName, const QString &settings, const QString &separator);

} // namespace fromSets
