#pragma once

#include "dncstation.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

// The DNC server: every machine it serves, each a station on its own port, in one event loop;
// and the small status file it keeps, from which another process tells what each machine does.
namespace comm {

// A machine to serve.
struct DncMachine
{
    MachineProfile profile;
    interp::DncSetup setup;
};

// The status file of a running server: "dnc/status" of the program folder.
QString dncStatusPath(const QString &programFolder);

// What a status file says: the server's process, when it started, and each machine's state.
struct DncStatus
{
    qint64 pid = 0;
    QDateTime started;
    QList<QPair<QString, QString>> machines; // name, state
};
// The status file encoded, and read back (nothing from a file that is not one).
QByteArray encodeDncStatus(const DncStatus &status);
std::optional<DncStatus> decodeDncStatus(QByteArrayView bytes);

class DncServer : public QObject
{
    Q_OBJECT

public:
    // Serves `machines` with ports from `ports`, files under `programFolder`. Two machines on one
    // port cannot both be served: the later one is left out, and the log says so.
    DncServer(std::vector<DncMachine> machines, const PortMap &ports, QString programFolder,
              QObject *parent = nullptr);
    ~DncServer() override;

    // How programs sent are loaded (the record length, whether LF alone ends a line).
    void setLoading(int recordLength, bool lfEndsLine);
    // Starts every station. False, with `why`, when another server keeps this program folder.
    bool start(QString &why);
    // Stops every station (see DncStation::stop); stopped() once all have.
    void stop();
    const std::vector<std::unique_ptr<DncStation>> &stations() const { return m_stations; }

signals:
    // One line of any machine's log, or of the server's own.
    void logged(const QString &line);
    void stopped();

private:
    void writeStatus();
    void serverLog(const QString &text);

    QString m_folder;
    std::vector<std::unique_ptr<DncStation>> m_stations;
    QStringList m_refused; // log lines of machines left out
    QTimer m_statusSoon;   // status writes, a few a second at most
    QDateTime m_started;
    int m_lock = -1;
    bool m_stopping = false;
};

} // namespace comm
