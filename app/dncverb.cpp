// vornexa --dnc and --dnc-status: a thin driver of the DNC server, and what its status file says.

#include "headless.h"

#include "dncserver.h"
#include "globalvar.h"
#include "machinefolder.h"
#include "programfolder.h"
#include "settingsstore.h"

#include <QEventLoop>
#include <QFile>

#include <cerrno>
#include <csignal>

namespace headless {

int dncVerb(const QStringList &arguments)
{
    QStringList named;
    if (arguments.size() == 2 && arguments[0] == QLatin1String("--machines")) {
        named = arguments[1].split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (QString &name : named)
            name = name.trimmed();
        if (named.isEmpty())
            return usage("--dnc", QStringLiteral("--machines takes machine names joined by commas."));
    } else if (!arguments.isEmpty()) {
        return usage("--dnc", QStringLiteral("--dnc takes nothing, or --machines and machine names joined by commas."));
    }
    const comm::MachineFolder folder = comm::MachineFolder::standard();
    const QStringList names = named.isEmpty() ? folder.names() : named;
    std::vector<comm::DncMachine> machines;
    for (const QString &name : names) {
        QString warning;
        interp::MachineSetup setup = folder.readSetup(name, warning);
        if (named.isEmpty() && !setup.dnc.enabled) {
            // A machine is never served by a guess at what its damaged setup meant.
            if (!warning.isEmpty())
                printError(QStringLiteral("vornexa: %1 %2 is not served.").arg(warning, name));
            continue;
        }
        const std::optional<comm::MachineProfile> profile = machineNamed(name);
        if (!profile)
            return BadUsage;
        if (!warning.isEmpty())
            printError(QStringLiteral("vornexa: %1 %2 is served with the default DNC setup, as it was named.").arg(warning, name));
        machines.push_back({*profile, setup.dnc});
    }
    if (machines.empty()) {
        printError(QStringLiteral("vornexa: no machine is set to be served (dnc.enabled=yes in its setup file in %1), "
                                  "and none was named with --machines.")
                       .arg(folder.path()));
        return BadUsage;
    }

    const std::unique_ptr<SettingsStore> settings = openSettings();
    GlobalVar values;
    values.io.read(*settings);
    StopSignals stop;
    comm::DncServer server(std::move(machines), comm::PortMap::read(*settings), tessarc::programFolder());
    server.setLoading(values.io.recLen, values.io.lfEndsLine);
    QObject::connect(&server, &comm::DncServer::logged, [](const QString &line) { printOut(line); });
    QEventLoop loop;
    QObject::connect(&server, &comm::DncServer::stopped, &loop, &QEventLoop::quit);
    QObject::connect(&stop, &StopSignals::arrived, &server, [&](const QString &signal) {
        printOut(QStringLiteral("vornexa: %1: ending every transfer").arg(signal));
        server.stop();
    });
    QString why;
    if (!server.start(why)) {
        printError(QStringLiteral("vornexa: ") + why + QLatin1Char('.'));
        return Failed;
    }
    if (!StopSignals::caught().isEmpty())
        server.stop();
    loop.exec();
    printOut(QStringLiteral("vornexa: the DNC server has stopped."));
    return Done;
}

int dncStatusVerb(const QStringList &arguments)
{
    if (!arguments.isEmpty())
        return usage("--dnc-status", QStringLiteral("--dnc-status takes nothing."));
    const QString path = comm::dncStatusPath(tessarc::programFolder());
    QFile file(path);
    std::optional<comm::DncStatus> status;
    if (file.open(QIODevice::ReadOnly))
        status = comm::decodeDncStatus(file.readAll());
    if (!status) {
        printError(QStringLiteral("vornexa: no DNC server is running (%1 %2).")
                       .arg(path, file.exists() ? QStringLiteral("is not a status file") : QStringLiteral("is not there")));
        return Failed;
    }
    if (::kill(pid_t(status->pid), 0) != 0 && errno == ESRCH) {
        printError(QStringLiteral("vornexa: no DNC server is running: process %1, which wrote %2, has ended.")
                       .arg(status->pid)
                       .arg(path));
        return Failed;
    }
    printOut(QStringLiteral("DNC server process %1, started %2:")
                 .arg(status->pid)
                 .arg(status->started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    for (const auto &[name, state] : status->machines)
        printOut(QStringLiteral("%1: %2").arg(name, state));
    return Done;
}

} // namespace headless
