#pragma once

#include "machineprofile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The bytes a send puts on the wire, a contract with machines that exist:
//   [leader, file name, leader] [bof] [eob]  each line + fly text + eob  [eof] [eob] [leader]
// the bracketed parts only when the profile asks for them, and nothing else.
namespace comm {

// The leader of the "Strippit HECC80/3" protocol: 10 bytes of 0.
QByteArray strippitLeader();

// The name of the program file as the special protocol sends it: the file's name without its
// folder, in the bytes the system names it by; empty when no such file is on disk.
QByteArray programNameOnWire(const QString &programFile);

// Before the first line: the leader, the file name and the leader when the protocol is on; then
// bof when it is not empty; then eob when bofeob is not 0.
QByteArray sendHeader(const MachineProfile &profile, QByteArrayView programName);

// Appends one line as it goes out: its text, the fly text waiting for it, then the eob.
void appendSendLine(QByteArray &out, QByteArrayView line, QByteArrayView flyText, QByteArrayView eob);

// After the last line (and after the output has drained): eof when it is not empty, then eob when
// eofeob is not 0, then the leader when the protocol is on.
QByteArray sendTrailer(const MachineProfile &profile);

// A whole send of `lines` with no fly text: what the far end receives from a send run to its end.
QByteArray wholeSend(const MachineProfile &profile, QByteArrayView programName, const QList<QByteArray> &lines);

// A line is handed to the port only while fewer characters than this wait to go out.
inline constexpr qint64 kOutputWaitLimit = 128;

// The Send button's caption once `sent` of `total` lines have been handed over: sent * 100 / total
// written with the percent picture, then "%". The last line shows exactly 100.
QString sendCaption(qint64 sent, qint64 total, const QString &percentFormat);

} // namespace comm
