#pragma once

#include "commerror.h"
#include "portmap.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

// A pseudo-terminal pair standing in for a serial line and the machine at its far end. The slave
// side is the port the code under test opens, by its path through a port map; the master side is
// the machine: a thread of its own collects every byte that arrives there, and the test writes to
// it (at once, or in chunks with pauses from a thread of their own, or XOFF and XON). The harness
// keeps no descriptor of the slave side, so whether the port is open can be seen from the master.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    const QString &slavePath() const { return m_slavePath; }
    int master() const { return m_master; }
    // The default port map with COM `com` on the slave side.
    comm::PortMap portMap(int com = 1) const;

    // Everything that has arrived at the master side so far.
    QByteArray received() const;
    qsizetype receivedSize() const;
    // Whether anyone has the slave side open now.
    bool slaveOpen() const;

    // Writes to the master side, as the machine sending: all of it, now.
    void write(QByteArrayView bytes);
    // The same from a thread of its own, `chunk` bytes at a time with `pauseMs` between them, so
    // the bytes reach the port in separate reads while the test's event loop runs.
    void writeInChunks(QByteArrayView bytes, int chunk, int pauseMs);
    // Whether writeInChunks() has written everything.
    bool chunksWritten() const { return m_chunksDone.load(); }
    // Flow control from the machine: XOFF (DC3) holds the port's output, XON (DC1) releases it.
    void xoff() { write("\x13"); }
    void xon() { write("\x11"); }
    // From a thread of its own, XOFF and XON by turns every `everyMs` milliseconds, as a drip-fed
    // control paces a program, until stopToggling(), which leaves the line released (XON last).
    void toggleFlow(int everyMs);
    void stopToggling();
    // How many times toggleFlow() has sent XOFF.
    int xoffsSent() const { return m_xoffs.load(); }
    // Closes the master side: the line is gone, as when a cable is pulled.
    void hangUp();

private:
    void readLoop();

    int m_master = -1;
    QString m_slavePath;
    mutable std::mutex m_mutex;
    QByteArray m_received;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_chunksDone{true};
    std::atomic<bool> m_toggling{false};
    std::atomic<int> m_xoffs{0};
    std::thread m_reader;
    std::thread m_writer;
};

// The line speed a descriptor is set to, read through termios2; -1 when it cannot be read.
int descriptorSpeed(int fd);
// Whether a write to the descriptor would go through now (a pty held by XOFF takes nothing).
bool writable(int fd);
// Waits, without running the event loop, until the descriptor takes no writes (XOFF has arrived);
// false after two seconds.
bool heldWithoutEvents(int fd);

// The failure a call throws: "number: description", or "" when it throws none.
template <typename Call>
QString failureOf(Call call)
{
    try {
        call();
    } catch (const comm::ControlError &error) {
        return QStringLiteral("%1: %2").arg(error.number()).arg(error.description());
    }
    return QString();
}
