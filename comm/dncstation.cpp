#include "dncstation.h"

#include "controlerror.h"
#include "program.h"
#include "receivetransfer.h"
#include "sendtransfer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QThread>

namespace comm {

namespace {

// The most of a line kept while it arrives: enough to tell an end text or a request.
constexpr qsizetype kLongestKeptLine = 4096;
// How often a send is looked at for a machine that holds its output.
constexpr int kWatchMs = 500;

// A folder a setup names: relative ones beneath the program folder; none, `fallback`.
QString inFolder(const QString &programFolder, const QString &path, const QString &fallback)
{
    if (path.isEmpty())
        return fallback;
    return QDir::isAbsolutePath(path) ? QDir::cleanPath(path) : QDir(programFolder).filePath(path);
}

QString number(qint64 n)
{
    return QLocale(QLocale::English).toString(n);
}

// A message set inside a line of the log: without its own full stop.
QString inLine(QString message)
{
    if (message.endsWith(QLatin1Char('.')))
        message.chop(1);
    return message;
}

QString fileNameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

} // namespace

DncFolders dncFolders(const QString &programFolder, const QString &machine, const interp::DncSetup &setup)
{
    const QString own = QDir(programFolder).filePath(QStringLiteral("dnc/") + machine);
    DncFolders folders;
    folders.programs = inFolder(programFolder, QString::fromLocal8Bit(setup.programs), own);
    folders.received = inFolder(programFolder, QString::fromLocal8Bit(setup.received), own + QStringLiteral("/received"));
    folders.log = own + QStringLiteral("/dnc.log");
    folders.home = programFolder;
    return folders;
}

DncStation::DncStation(MachineProfile profile, interp::DncSetup setup, PortMap ports, DncFolders folders,
                       QString storeStem, QObject *parent)
    : QObject(parent), m_profile(std::move(profile)), m_setup(std::move(setup)), m_folders(std::move(folders)),
      m_storeStem(std::move(storeStem)), m_port(std::move(ports))
{
    m_quiet.setSingleShot(true);
    m_delay.setSingleShot(true);
    m_reopen.setSingleShot(true);
    m_watch.setInterval(kWatchMs);
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        if (m_receive)
            m_receive->stop();
    });
    connect(&m_delay, &QTimer::timeout, this, &DncStation::onDelayOver);
    connect(&m_reopen, &QTimer::timeout, this, &DncStation::tryReopen);
    connect(&m_watch, &QTimer::timeout, this, &DncStation::watchSend);
    // A failure while no transfer runs (during a request's delay or while its program loads); a
    // transfer reports the failure of its own port itself.
    connect(&m_port, &SerialPort::failed, this, [this](int, const QString &description) {
        if (m_phase == Phase::Delay) {
            m_delay.stop();
            log(QStringLiteral("the request for %1 was not served: %2").arg(m_request.name, inLine(description)));
            portLost(description);
        }
    });
}

DncStation::~DncStation()
{
    if (m_loader) {
        m_loader->wait();
        delete m_loader;
    }
    m_send.reset();
    dropProgram();
    m_receive.reset();
    m_port.setPortOpen(false);
}

void DncStation::log(const QString &text)
{
    const QString line = QStringLiteral("%1 %2: %3")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                  m_profile.name, text);
    QFile file(m_folders.log);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line.toLocal8Bit() + '\n');
    emit logged(line);
}

void DncStation::setState(const QString &state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

void DncStation::start()
{
    if (m_phase != Phase::Closed || m_reopen.isActive())
        return;
    for (const QString &folder : {m_folders.programs, m_folders.received, QFileInfo(m_folders.log).path()}) {
        if (!QDir().mkpath(folder))
            log(QStringLiteral("the folder %1 cannot be made").arg(folder));
    }
    log(QStringLiteral("serving on COM%1 (%2), %3; programs from %4, captures filed in %5")
            .arg(m_profile.comPort)
            .arg(m_port.ports().device(m_profile.comPort), m_profile.settings, m_folders.programs, m_folders.received));
    if (openPort())
        listen();
}

// The profile's line, with XON/XOFF added for a machine fed as it consumes.
bool DncStation::openPort()
{
    try {
        int handshake = m_profile.handshake;
        if (m_setup.dripFeed && (handshake == SerialPort::NoHandshake || handshake == SerialPort::RtsCts))
            handshake += SerialPort::XonXoff;
        m_port.setLine(handshake, m_profile.settings, m_profile.comPort);
        m_port.setPortOpen(true);
    } catch (const ControlError &error) {
        portLost(errorText(error));
        return false;
    }
    if (m_portLogged)
        log(QStringLiteral("COM%1 (%2) is open again").arg(m_profile.comPort).arg(m_port.device()));
    m_portLogged = false;
    return true;
}

void DncStation::portLost(const QString &why)
{
    m_phase = Phase::Closed;
    m_port.setPortOpen(false);
    if (m_stopping) {
        finishStop();
        return;
    }
    if (!m_portLogged)
        log(QStringLiteral("%1; trying again every %2 s").arg(inLine(why)).arg(kReopenSeconds));
    m_portLogged = true;
    setState(QStringLiteral("port closed, reopening: %1").arg(inLine(why)));
    m_reopen.start(kReopenSeconds * 1000);
}

void DncStation::tryReopen()
{
    if (m_stopping || m_phase != Phase::Closed)
        return;
    if (openPort())
        listen();
}

void DncStation::listen()
{
    m_phase = Phase::Listening;
    m_heard = Heard::Nothing;
    m_head.clear();
    m_headLines = 0;
    m_partial.clear();
    m_begun = m_endSeen = m_programEnded = false;
    setState(QStringLiteral("idle"));
    m_receive = std::make_unique<ReceiveTransfer>(m_profile, m_port, QDir(m_folders.received).filePath(QStringLiteral(".incoming.txt")));
    connect(m_receive.get(), &ReceiveTransfer::captured, this, &DncStation::onCaptured);
    connect(m_receive.get(), &ReceiveTransfer::finished, this, &DncStation::onReceiveEnded, Qt::QueuedConnection);
    m_receive->start();
}

void DncStation::onCaptured(const QByteArray &text)
{
    if (m_phase != Phase::Listening || m_endSeen)
        return;
    if (m_heard == Heard::Nothing)
        m_heard = Heard::Undecided;
    if (m_heard != Heard::Request)
        m_quiet.start(int(m_setup.quietSeconds * 1000));
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype end = text.indexOf('\n', at);
        if (end < 0) {
            m_partial += QByteArrayView(text).sliced(at);
            if (m_partial.size() > kLongestKeptLine)
                m_partial = m_partial.right(kLongestKeptLine);
            break;
        }
        m_partial += QByteArrayView(text).sliced(at, end - at);
        at = end + 1;
        if (m_partial.endsWith('\r'))
            m_partial.chop(1);
        takeLine(m_partial);
        m_partial.clear();
        if (m_endSeen)
            return; // what follows is the next program's
    }
    if (m_heard != Heard::Request)
        setState(QStringLiteral("receiving %1 characters").arg(number(m_receive ? m_receive->written() : 0)));
}

void DncStation::takeLine(QByteArrayView line)
{
    if (m_heard == Heard::Request) {
        // The rest of a request program is the request's, up to its end.
        const bool endText = !m_profile.eof.trimmed().isEmpty();
        if (endsCapture(line, m_profile.eof, true) || (!endText && endsProgram(line))) {
            m_endSeen = true;
            QMetaObject::invokeMethod(m_receive.get(), &ReceiveTransfer::stop, Qt::QueuedConnection);
        }
        return;
    }
    if (m_heard == Heard::Undecided) {
        m_head += line;
        m_head += '\n';
        ++m_headLines;
        if (const std::optional<DncRequest> request = findRequest(m_setup, m_head)) {
            m_heard = Heard::Request;
            m_request = *request;
            m_quiet.stop();
            acceptRequest();
            takeLine(line); // the request program may end on its own line
            return;
        }
        if (m_headLines >= m_setup.requestLines)
            m_heard = Heard::Program;
    }
    if (endsCapture(line, m_profile.eof, m_begun)) {
        m_endSeen = true;
        m_quiet.stop();
        QMetaObject::invokeMethod(m_receive.get(), &ReceiveTransfer::stop, Qt::QueuedConnection);
        return;
    }
    if (endsProgram(line))
        m_programEnded = true;
    const QByteArrayView bare = line.trimmed();
    if (!bare.isEmpty() && bare != "%" && bare != m_profile.bof.trimmed())
        m_begun = true;
}

void DncStation::onReceiveEnded(const TransferResult &result)
{
    if (!m_receive)
        return;
    m_quiet.stop();
    const QString capture = m_receive->capture();
    const bool portFailed = result.outcome == TransferResult::Outcome::Failed && !m_port.portOpen();
    if (m_heard == Heard::Request) {
        QFile::remove(capture);
        m_receive.reset();
        if (portFailed || m_stopping || m_requested.isEmpty()) {
            m_delay.stop();
            if (!m_requested.isEmpty())
                log(QStringLiteral("the request for %1 was not served: %2")
                        .arg(m_request.name, portFailed ? inLine(result.message) : QStringLiteral("the server was stopped")));
            afterTransfer(portFailed ? result.message : QString());
            return;
        }
        m_phase = Phase::Delay;
        if (!m_delay.isActive())
            loadRequested();
        return;
    }
    if (result.count > 0) {
        fileWhatArrived(result, capture);
    } else {
        QFile::remove(capture);
        m_receive.reset();
        if (result.outcome == TransferResult::Outcome::Failed && !portFailed) {
            // The capture could not even begin (its folder cannot be written): tried again later.
            portLost(result.message);
            return;
        }
    }
    afterTransfer(portFailed ? result.message : QString());
}

void DncStation::fileWhatArrived(const TransferResult &result, const QString &capture)
{
    if (!m_begun && m_partial.trimmed().isEmpty()) {
        // Framing alone (a "%", blank lines) is no program.
        log(QStringLiteral("%1 characters with no program in them were let go").arg(number(result.count)));
        QFile::remove(capture);
        m_receive.reset();
        return;
    }
    // An end text without an end of block after it is the last thing to arrive.
    if (!m_endSeen && endsCapture(m_partial, m_profile.eof, m_begun))
        m_endSeen = true;
    if (!m_endSeen && endsProgram(m_partial))
        m_programEnded = true;
    const bool whole = result.outcome == TransferResult::Outcome::Done && !m_stopping &&
                       (m_endSeen || (m_profile.eof.trimmed().isEmpty() && m_programEnded));
    const QString characters = number(result.count);
    const QDateTime now = QDateTime::currentDateTime();
    const QString extension = QString::fromLatin1(m_setup.extension);
    QString why;
    if (!whole) {
        if (result.outcome == TransferResult::Outcome::Failed)
            why = inLine(result.message);
        else if (m_stopping)
            why = QStringLiteral("the server was stopped while it arrived");
        else if (!m_profile.eof.trimmed().isEmpty())
            why = QStringLiteral("the line went quiet before the end text %1").arg(QString::fromLatin1(m_profile.eof.trimmed()));
        else
            why = QStringLiteral("the line went quiet before the program's end");
    }
    try {
        if (whole) {
            QString name = captureFileName(m_setup, m_head.isEmpty() ? m_partial : m_head);
            if (name.isEmpty()) {
                name = datedName(QStringLiteral("UNNAMED"), m_profile.name, now, m_folders.received, extension);
                log(QStringLiteral("the program received names no program number; it is filed as %1").arg(name));
            }
            const QStringList backups = fileCapture(capture, m_folders.received, name, m_setup.backups);
            for (const QString &backup : backups)
                log(QStringLiteral("the earlier %1 is kept as %2").arg(name, backup));
            log(QStringLiteral("received %1 (%2 characters)").arg(name, characters));
        } else {
            const QString name = datedName(QStringLiteral("FAILED"), m_profile.name, now, m_folders.received);
            fileCapture(capture, m_folders.received, name, 0);
            log(QStringLiteral("a capture failed: %1; its %2 characters are kept as %3").arg(why, characters, name));
        }
        m_receive.reset();
    } catch (const ControlError &error) {
        // The capture stays claimed, so that no later capture writes over it.
        log(QStringLiteral("a capture of %1 characters could not be filed: %2; it is kept as %3")
                .arg(characters, inLine(error.description()), capture));
        m_kept.push_back(std::move(m_receive));
    }
}

// A request heard: the program it names is looked for at once, and sent once the request's delay
// has passed and the request program has ended (what arrives until then is the request's).
void DncStation::acceptRequest()
{
    const QString folder = inFolder(m_folders.home, m_request.folder, m_folders.programs);
    const LocatedProgram found = locateProgram(m_setup, m_request, folder);
    m_requested = found.path;
    if (found.path.isEmpty())
        log(QStringLiteral("request for %1: nothing was sent: %2").arg(m_request.name, found.reason));
    else
        log(QStringLiteral("request for %1: sending %2 in %3 s").arg(m_request.name, m_requested).arg(m_setup.requestDelay));
    setState(QStringLiteral("request for %1, sending soon").arg(m_request.name));
    m_delay.start(int(m_setup.requestDelay * 1000));
}

void DncStation::onDelayOver()
{
    if (m_phase == Phase::Listening && m_receive && m_heard == Heard::Request)
        m_receive->stop(); // onReceiveEnded goes on
    else if (m_phase == Phase::Delay)
        loadRequested();
}

// The program is loaded into line stores of its own away from the event loop, so that the other
// machines go on while a large one loads.
void DncStation::loadRequested()
{
    if (m_phase != Phase::Delay || m_requested.isEmpty())
        return;
    m_phase = Phase::Loading;
    setState(QStringLiteral("loading %1").arg(fileNameOf(m_requested)));
    m_program = std::make_unique<tessarc::Program>();
    m_program->recordLength = m_recordLength;
    m_program->lfEndsLine = m_lfEndsLine;
    m_claim = m_program->useStores(m_folders.home, m_storeStem);
    auto failure = std::make_shared<QString>();
    tessarc::Program *program = m_program.get();
    const QString path = m_requested;
    m_loader = QThread::create([program, path, failure] {
        if (const std::optional<QString> why = tessarc::failureOf([&] { program->load(path, {}); }))
            *failure = *why;
    });
    connect(m_loader, &QThread::finished, this, [this, failure] {
        m_loader->wait();
        delete m_loader;
        m_loader = nullptr;
        onLoaded(*failure);
    });
    m_loader->start();
}

void DncStation::onLoaded(const QString &failure)
{
    const QString name = fileNameOf(m_requested);
    if (m_stopping || !failure.isEmpty() || m_program->lineCount() == 0) {
        if (!m_stopping)
            log(QStringLiteral("request for %1: nothing was sent: %2").arg(
                m_request.name, failure.isEmpty() ? QStringLiteral("%1 has no lines").arg(m_requested) : failure));
        dropProgram();
        afterTransfer(m_port.portOpen() ? QString() : QStringLiteral("the port closed while %1 loaded").arg(name));
        return;
    }
    if (!m_port.portOpen()) {
        log(QStringLiteral("request for %1: nothing was sent: the port closed while it loaded").arg(m_request.name));
        dropProgram();
        portLost(QStringLiteral("the port closed"));
        return;
    }
    SendJob job;
    job.program = m_program.get();
    job.first = 1;
    job.last = m_program->lineCount();
    job.programFile = m_requested;
    m_send = std::make_unique<SendTransfer>(m_profile, m_port, job);
    connect(m_send.get(), &SendTransfer::progress, this, [this, name](const QString &caption) {
        m_caption = caption;
        if (m_stuck < 2)
            setState(QStringLiteral("sending %1 %2").arg(name, caption));
    });
    connect(m_send.get(), &SendTransfer::finished, this, &DncStation::onSendEnded, Qt::QueuedConnection);
    m_phase = Phase::Sending;
    m_caption.clear();
    m_stuck = 0;
    m_lastQueue = m_lastSent = -1;
    setState(QStringLiteral("sending %1").arg(name));
    m_sendClock.start();
    m_watch.start();
    m_send->start();
}

// A send whose output stands still while the machine holds it (XOFF, or CTS down) says so.
void DncStation::watchSend()
{
    if (m_phase != Phase::Sending || !m_send) {
        m_watch.stop();
        return;
    }
    const qint64 queue = m_port.outBufferCount();
    const qint64 sent = m_send->sent();
    m_stuck = queue > 0 && queue == m_lastQueue && sent == m_lastSent ? m_stuck + 1 : 0;
    m_lastQueue = queue;
    m_lastSent = sent;
    if (m_stuck == 2) {
        const int h = m_port.handshaking();
        const QString what = h == SerialPort::RtsCts ? QStringLiteral("waiting for CTS") : QStringLiteral("waiting for XON");
        setState(QStringLiteral("%1 (sending %2 %3)").arg(what, fileNameOf(m_requested), m_caption));
    } else if (m_stuck == 0 && m_state.startsWith(QStringLiteral("waiting"))) {
        setState(QStringLiteral("sending %1 %2").arg(fileNameOf(m_requested), m_caption));
    }
}

void DncStation::onSendEnded(const TransferResult &result)
{
    m_watch.stop();
    const QString name = fileNameOf(m_requested);
    const double seconds = double(m_sendClock.elapsed()) / 1000.0;
    const qint64 total = m_send ? m_send->total() : 0;
    QString portFailure;
    switch (result.outcome) {
    case TransferResult::Outcome::Done:
        log(QStringLiteral("sent %1 (%2 lines, %3 s)").arg(name, number(result.count)).arg(seconds, 0, 'f', 1));
        break;
    case TransferResult::Outcome::Cancelled:
        log(QStringLiteral("the send of %1 was cancelled after %2 of %3 lines; no end text was sent")
                .arg(name, number(result.count), number(total)));
        break;
    default:
        log(QStringLiteral("the send of %1 failed after %2 of %3 lines: %4")
                .arg(name, number(result.count), number(total), inLine(result.message)));
        if (!m_port.portOpen())
            portFailure = result.message;
        break;
    }
    m_send.reset();
    dropProgram();
    afterTransfer(portFailure);
}

void DncStation::dropProgram()
{
    if (!m_program)
        return;
    m_program->removeStores();
    m_program.reset();
    m_claim = tessarc::StoreClaim();
}

// What comes after a transfer ends: the port reopened when it failed, the end when stopping,
// else listening again.
void DncStation::afterTransfer(const QString &portFailure)
{
    if (!portFailure.isEmpty() || !m_port.portOpen()) {
        portLost(portFailure.isEmpty() ? QStringLiteral("the port closed") : portFailure);
        return;
    }
    if (m_stopping) {
        finishStop();
        return;
    }
    listen();
}

void DncStation::stop()
{
    if (m_stopping || m_phase == Phase::Stopped)
        return;
    m_stopping = true;
    switch (m_phase) {
    case Phase::Listening:
        if (m_receive)
            m_receive->stop(); // ends in onReceiveEnded
        else
            finishStop();
        break;
    case Phase::Delay:
        m_delay.stop();
        log(QStringLiteral("the request for %1 was not served: the server was stopped").arg(m_request.name));
        finishStop();
        break;
    case Phase::Loading:
        break; // onLoaded ends it
    case Phase::Sending:
        if (m_send)
            m_send->cancel(); // ends in onSendEnded
        break;
    case Phase::Closed:
        m_reopen.stop();
        finishStop();
        break;
    case Phase::Stopped:
        break;
    }
}

void DncStation::finishStop()
{
    m_phase = Phase::Stopped;
    m_quiet.stop();
    m_delay.stop();
    m_reopen.stop();
    m_watch.stop();
    m_port.setPortOpen(false);
    setState(QStringLiteral("stopped"));
    log(QStringLiteral("stopped"));
    emit stopped();
}

} // namespace comm
