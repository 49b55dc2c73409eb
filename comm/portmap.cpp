#include "portmap.h"

#include "settingsstore.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <utility>

namespace comm {

namespace {

const QString kSection = QStringLiteral("PORTS");

QString keyOf(int port)
{
    return QStringLiteral("COM%1").arg(port);
}

} // namespace

PortMap::PortMap()
{
    for (int port = kFirstPort; port <= kLastPort; ++port)
        m_devices[static_cast<size_t>(port - 1)] = defaultDevice(port);
}

QString PortMap::defaultDevice(int port)
{
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

QString PortMap::device(int port) const
{
    return validPort(port) ? m_devices[static_cast<size_t>(port - 1)] : QString();
}

void PortMap::setDevice(int port, const QString &path)
{
    if (validPort(port))
        m_devices[static_cast<size_t>(port - 1)] = path.isEmpty() ? defaultDevice(port) : path;
}

PortMap PortMap::read(const SettingsStore &settings)
{
    PortMap map;
    for (int port = kFirstPort; port <= kLastPort; ++port)
        map.setDevice(port, settings.text(kSection, keyOf(port), defaultDevice(port)));
    return map;
}

void PortMap::write(SettingsStore &settings) const
{
    for (int port = kFirstPort; port <= kLastPort; ++port)
        settings.setText(kSection, keyOf(port), device(port));
}

QList<SystemPort> systemPorts()
{
    QList<SystemPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        QString description = info.description();
        if (!info.manufacturer().isEmpty() && !description.contains(info.manufacturer()))
            description = description.isEmpty() ? info.manufacturer() : description + QStringLiteral(", ") + info.manufacturer();
        ports.append({info.systemLocation(), description});
    }
    // "/dev/ttyS2" before "/dev/ttyS10": the trailing number counts as a number.
    auto key = [](const QString &device) {
        qsizetype digits = device.size();
        while (digits > 0 && device[digits - 1].isDigit())
            --digits;
        return std::make_pair(device.left(digits), device.mid(digits).toLongLong());
    };
    std::sort(ports.begin(), ports.end(),
              [&key](const SystemPort &a, const SystemPort &b) { return key(a.device) < key(b.device); });
    return ports;
}

} // namespace comm
