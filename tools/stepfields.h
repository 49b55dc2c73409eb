#pragma once

#include "linerange.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <span>

// A recorded step's settings text and the tool-window fields it belongs to. A tool records its
// fields in a fixed order, each value followed by the step field separator (a line feed, "SEP.QEN",
// a carriage return); replaying a step puts the values back into the same fields in the same
// order and presses the tool's button. The tables here are that order, one per step name.
namespace tools {

// How a value goes into its field.
enum class FieldKind {
    Text,    // a text box: the value as it is
    Option,  // an option button: "True" or "False"
    Check,   // a check box: 1 ticked, 0 clear
    Caption, // a button's caption (the file name of Insert File)
    Mode,    // not a field: the digit of the Replace button that runs the step
};

// One item of a step: the field's object name in its tool window, its kind, and how the window
// has it when it opens: an option's group (the buttons of a group turn each other off) and whether
// it is chosen, and the most characters a text field takes.
struct StepField
{
    const char *name;
    FieldKind kind;
    int group = 0;
    bool on = false;
    int maxLength = 32767;
};

// The eleven step names, in the order the step-type list shows them.
const QStringList &stepNames();
// The items a step of `stepName` holds, in order; empty for a name that is no step.
std::span<const StepField> stepFields(const QString &stepName);

// The items of a settings text, in order: the text split at `separator`, without the empty item
// after the last separator.
QStringList splitSettings(const QString &settings, const QString &separator);

// Why a step cannot be recorded, or nothing when it can: the name is no step, or a value holds a
// line break (which could forge the separator, so the step would no longer read back as recorded).
std::optional<QString> stepRefused(const QString &stepName, const QString &settings, const QString &separator);

// One field to set when a step is put back into its window.
struct FieldValue
{
    QString name; // the field's object name
    FieldKind kind = FieldKind::Text;
    QString text; // Text and Caption: the value
    bool on = false; // Option: always true (only options that read True are set); Check: ticked
};

// What putting a step back into its window does, in order.
struct StepFill
{
    // The fields to set. An option item is listed only when it reads True, so setting it turns
    // the others of its group off. StartLine and EndLine are listed only when the LINE2LINE item
    // reads True (Remove Lines, which has no such option, always sets them); otherwise the range
    // fields keep what the window put there when it opened.
    QList<FieldValue> fields;
    // The button that runs the step: "Go", or for Replace "Go", "go2" ... "go5" by the mode digit;
    // empty when the mode digit is none of 1 to 5 (the window is filled and nothing is pressed).
    QString button;
    // When the step cannot be put back (an unknown name, a missing item, an option that is
    // neither True nor False, a check that is neither 1 nor 0): why. Nothing is then to be set.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Reads a step's settings text into the fields of its window. Never reads past the items present.
StepFill readStep(const QString &stepName, const QString &settings, const QString &separator);

// A step's window as filling it from the step leaves it, without the window: every field as the
// window opens, then the step's values put in as they are put into the window. A tool is made
// from it as its window makes one from its fields.
class StepForm
{
public:
    // `opened`: the range fields as the window opens on the program.
    static StepForm read(const QString &stepName, const QString &settings, const QString &separator,
                         const RangeFields &opened);

    // Why the step cannot be put into its window (as filling the window says); empty when it can.
    QString error;
    bool ok() const { return error.isEmpty(); }

    QString text(const char *name) const; // a text field, or a button's caption
    bool on(const char *name) const;      // an option chosen, a check box ticked
    RangeFields range() const;
    // The button the step presses: 1 for Go, 2 to 5 for Replace's go2 ... go5; 0 for none.
    int mode() const { return m_mode; }

private:
    QHash<QString, QString> m_text;
    QHash<QString, bool> m_on;
    int m_mode = 0;
};

} // namespace tools
