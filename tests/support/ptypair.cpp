#include "ptypair.h"

#include "linespeed.h"

#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    int slave = -1;
    char name[256] = {};
    if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
        qFatal("openpty failed: %s", strerror(errno));
    m_slavePath = QString::fromLocal8Bit(name);
    ::close(slave);
    // Reads never wait: a read that found the slave side closed could otherwise be caught waiting
    // when the port opens between its poll and its read, and wait for as long as the port says nothing.
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_reader = std::thread([this] { readLoop(); });
}

PtyPair::~PtyPair()
{
    m_stop = true;
    if (m_writer.joinable())
        m_writer.join();
    if (m_reader.joinable())
        m_reader.join();
    if (m_master >= 0)
        ::close(m_master);
}

comm::PortMap PtyPair::portMap(int com) const
{
    comm::PortMap map;
    map.setDevice(com, m_slavePath);
    return map;
}

QByteArray PtyPair::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

qsizetype PtyPair::receivedSize() const
{
    std::lock_guard lock(m_mutex);
    return m_received.size();
}

bool PtyPair::slaveOpen() const
{
    if (m_master < 0)
        return false;
    pollfd p{m_master, 0, 0};
    return ::poll(&p, 1, 0) == 0 || !(p.revents & POLLHUP);
}

void PtyPair::write(QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_master, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) { // the port's input is full: wait until it takes more
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 20);
            continue;
        }
        if (n < 0)
            qFatal("writing to the pty master failed: %s", strerror(errno));
        data += n;
        left -= n;
    }
}

void PtyPair::writeInChunks(QByteArrayView bytes, int chunk, int pauseMs)
{
    if (m_writer.joinable())
        m_writer.join();
    m_chunksDone = false;
    m_writer = std::thread([this, data = bytes.toByteArray(), chunk, pauseMs] {
        for (qsizetype at = 0; at < data.size() && !m_stop; at += chunk) {
            write(QByteArrayView(data).sliced(at, std::min<qsizetype>(chunk, data.size() - at)));
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        m_chunksDone = true;
    });
}

void PtyPair::toggleFlow(int everyMs)
{
    if (m_writer.joinable())
        m_writer.join();
    m_toggling = true;
    m_xoffs = 0;
    m_writer = std::thread([this, everyMs] {
        while (m_toggling && !m_stop) {
            xoff();
            ++m_xoffs;
            std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
            xon();
            std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
        }
    });
}

void PtyPair::stopToggling()
{
    m_toggling = false;
    if (m_writer.joinable())
        m_writer.join();
}

void PtyPair::hangUp()
{
    m_stop = true;
    if (m_writer.joinable())
        m_writer.join();
    if (m_reader.joinable())
        m_reader.join();
    ::close(m_master);
    m_master = -1;
}

void PtyPair::readLoop()
{
    char buffer[65536];
    while (!m_stop) {
        pollfd p{m_master, POLLIN, 0};
        const int ready = ::poll(&p, 1, 20);
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            std::lock_guard lock(m_mutex);
            m_received.append(buffer, n);
        } else {
            // No one has the slave side open: the master reports a hang-up until someone does.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

int descriptorSpeed(int fd)
{
    return comm::lineSpeed(fd);
}

bool writable(int fd)
{
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLOUT);
}

bool heldWithoutEvents(int fd)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (writable(fd)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
