#pragma once

#include <QList>
#include <QString>
#include <array>

class SettingsStore;

// Which device each COM number opens. A machine profile keeps its port as a number from 1 to 16;
// the settings section "PORTS" maps each number to a device path (keys "COM1" ... "COM16",
// defaults "/dev/ttyS0" ... "/dev/ttyS15"). Nothing else of comm/ touches the settings.
namespace comm {

class PortMap
{
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 16;

    // Every number on its default device.
    PortMap();

    static bool validPort(int port) { return port >= kFirstPort && port <= kLastPort; }
    // "/dev/ttyS" + (port - 1).
    static QString defaultDevice(int port);

    // The device of a number from 1 to 16; empty for any other number.
    QString device(int port) const;
    // Points a number at a device; an empty path puts it back on its default. Other numbers are ignored.
    void setDevice(int port, const QString &path);

    // The mapping as the settings hold it; a key that is missing or empty gives the default.
    static PortMap read(const SettingsStore &settings);
    // Writes all sixteen keys.
    void write(SettingsStore &settings) const;

    friend bool operator==(const PortMap &, const PortMap &) = default;

private:
    std::array<QString, kLastPort> m_devices;
};

// A port the system has, for the machinist to pick: built-in ports and USB adapters.
struct SystemPort
{
    QString device;      // "/dev/ttyUSB0"
    QString description; // what the system says of it, "" when nothing
};

// The serial ports the system lists now, by device path.
QList<SystemPort> systemPorts();

} // namespace comm
