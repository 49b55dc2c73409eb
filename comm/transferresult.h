#pragma once

#include <QMetaType>
#include <QString>

namespace comm {

// How a send or a receive ended, as the window and the command line report it.
struct TransferResult
{
    enum class Outcome {
        Done,            // everything sent and drained; or something captured
        Cancelled,       // Cancel during a send
        Failed,          // the port or a file failed; message holds "ERROR n: description"
        NothingReceived, // a receive stopped with nothing captured; message "Nothing Received"
    };
    Outcome outcome = Outcome::Done;
    QString message; // what to show; empty for Done and Cancelled
    qint64 count = 0; // lines handed to the port (send), characters written to the capture (receive)
    bool captureFailed = false; // a receive's capture file could not take what arrived (a full disk)
};

} // namespace comm

Q_DECLARE_METATYPE(comm::TransferResult)
