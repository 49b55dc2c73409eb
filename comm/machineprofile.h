#pragma once

#include "commerror.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// A machine profile: the serial link to one machine tool, one record per file "<name>.qen".
namespace comm {

struct MachineProfile
{
    QString name;                                  // equals the file's base name
    QString comments;                              // free text for the machinist
    QString settings = QStringLiteral("9600,N,8,1"); // line settings (linesettings.h)
    quint8 handshake = 0;                          // 0 none, 1 XOn/XOff, 2 RTS, 3 RTS XOn/XOff
    quint8 comPort = 1;                            // 1 to 16
    QByteArray eob = "\n";                         // end of block, sent after every line (raw)
    QByteArray bof;                                // special beginning-of-file text (raw)
    quint8 bofeob = 0;                             // 1: eob follows bof
    QByteArray eof;                                // special end-of-file text (raw)
    quint8 eofeob = 0;                             // 1: eob follows eof
    qint32 strippit = 0;                           // 1: the "Strippit HECC80/3" protocol

    friend bool operator==(const MachineProfile &, const MachineProfile &) = default;
};

// A new profile as Add New makes it: the defaults above with the name given.
MachineProfile newProfile(const QString &name);

// The record as its file holds it: the fields in order, little-endian, no header or padding; each
// text a 16-bit byte count then its bytes (names, comments and settings as Latin-1). A text that
// a file cannot hold (a character past Latin-1, more than 65535 bytes) throws ControlError; nothing
// is ever cut short.
QByteArray encodeProfile(const MachineProfile &profile);

// Reads a record from the first byte of `bytes`; bytes after it are ignored. A record that runs
// past the end of the bytes throws ControlError (InputPastEndOfFile) naming `source` and the field.
MachineProfile decodeProfile(QByteArrayView bytes, const QString &source);

// Why a profile that was read cannot be shown or used (line settings that are not four valid
// items, a handshake above 3), or nothing when it can.
std::optional<QString> profileProblem(const MachineProfile &profile);

// "None", "XOn/XOff", "RTS" or "RTS XOn/XOff"; empty for other values.
QString handshakeName(int handshake);

// The summary the send and receive windows show for a usable profile: ten lines joined by CR LF.
QString profileSummary(const MachineProfile &profile);

} // namespace comm
