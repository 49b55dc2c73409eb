#pragma once

#include "commerror.h"
#include "machineprofile.h"
#include "portmap.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The fields of the Manage Machines window as plain values, and what the window does with them
// that needs no widget: the port check, the end-of-block choices, the profile a save writes and
// the chart of special characters.
namespace comm {

// "Invalid COM port.": the port field is not numeric, is not from 1 to 16, or its device does not open.
QString invalidComPortText();

// The port number of the port field: numeric, from 1 to 16, rounded to a whole number (halves to
// even); nothing when it is not one.
std::optional<int> comFieldPort(const QString &text);
// The check of Update Changes: invalidComPortText() when the field is no port number or its device
// (through `ports`) cannot be opened and closed again; nothing when it can.
std::optional<QString> checkComField(const QString &text, const PortMap &ports);

// Why a line settings text cannot be used (not four valid items: linesettings.h), or nothing.
// 4 data bits and 1.5 stop bits pass: a profile may hold them; opening a port with them fails.
std::optional<QString> checkSettingsText(const QString &text);

// The end-of-block options f1 to f6: LF, CR, LF + CR, CR + LF, LF + CR + CR, Other.
enum class EobChoice : int { None = 0, Lf = 1, Cr = 2, LfCr = 3, CrLf = 4, LfCrCr = 5, Other = 6 };

// The raw characters an option stands for; Other is its text through the notation.
QByteArray eobOfChoice(EobChoice choice, const QString &otherText);
// The option that shows `eob`, and for Other the text of the Other field in the notation.
struct EobShown
{
    EobChoice choice = EobChoice::Other;
    QString otherText; // set only for Other
};
EobShown eobChoiceOf(const QByteArray &eob);

// What the window holds. A group with no chosen option is empty (or None, or -1).
struct ManageFields
{
    QString name;        // txtName
    QString comments;    // txtComments
    QString com;         // txtCom
    QString baud;        // caption of the chosen baud option
    QString parity;      // letter of the chosen parity option
    QString dataBits;    // "4" to "8"
    QString stopBits;    // "1", "1.5" or "2"
    int handshake = -1;  // h0 to h3
    EobChoice eob = EobChoice::None;
    QString otherEob = QStringLiteral("(LF)"); // txtF
    QString bof;         // txtBOF, in the notation
    bool bofeob = false;
    QString eof;         // txtEOF, in the notation
    bool eofeob = false;
    bool strippit = false;
};

// The fields showing a profile: texts in the notation, the settings' items as they are (an item
// that matches no option leaves its group as it was), handshakes above 3 as -1.
ManageFields fieldsOf(const MachineProfile &profile);

// The record Update Changes writes from the fields, the port field already checked. A group with no
// chosen option keeps the loaded profile's value (for the line settings, its item there). Texts
// with characters past Latin-1 throw ControlError naming the field.
MachineProfile profileFromFields(const ManageFields &fields, const MachineProfile &loaded);

// The message of "Tips for using special characters" (title "Special Characters").
QString specialCharactersTips();

} // namespace comm
