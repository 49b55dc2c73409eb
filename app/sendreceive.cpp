// vornexa --send and --receive: thin drivers of the transfers the Send and Receive windows use.

#include "headless.h"

#include "capturefile.h"
#include "globalvar.h"
#include "interpoptions.h"
#include "machinefolder.h"
#include "machinesetupfor.h"
#include "program.h"
#include "programfolder.h"
#include "receivetransfer.h"
#include "restartprogram.h"
#include "sendtransfer.h"
#include "settingsstore.h"
#include "storeclaim.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

namespace headless {

namespace {

// Waits in the event loop until the transfer reports its end.
template <class Transfer>
comm::TransferResult waitForEnd(Transfer &transfer)
{
    QEventLoop loop;
    comm::TransferResult result;
    QObject::connect(&transfer, &Transfer::finished, &loop, [&](const comm::TransferResult &ended) {
        result = ended;
        loop.quit();
    });
    transfer.start();
    loop.exec();
    return result;
}

// The program loaded into line stores of its own in the program folder, as the window loads it;
// the stores go with it.
class LoadedProgram
{
public:
    explicit LoadedProgram(const IoSettings &io)
    {
        m_claim = m_program.useStores(tessarc::programFolder(), cliStoreStem());
        m_program.recordLength = io.recLen;
        m_program.lfEndsLine = io.lfEndsLine;
    }
    ~LoadedProgram() { m_program.removeStores(); }
    tessarc::Program &program() { return m_program; }

private:
    tessarc::StoreClaim m_claim; // let go after the stores are gone
    tessarc::Program m_program;
};

} // namespace

// The machine named on the command line, or the reason there is none (a missing or unusable profile).
std::optional<comm::MachineProfile> machineNamed(const QString &name)
{
    const comm::MachineFolder folder = comm::MachineFolder::standard();
    if (!folder.contains(name)) {
        printError(QStringLiteral("vornexa: there is no machine \"%1\" (no file %2).").arg(name, folder.fileOf(name)));
        return std::nullopt;
    }
    try {
        comm::MachineProfile profile = folder.read(name);
        if (const std::optional<QString> problem = comm::profileProblem(profile)) {
            printError(QStringLiteral("vornexa: ") + *problem);
            return std::nullopt;
        }
        return profile;
    } catch (const comm::ControlError &error) {
        printError(comm::errorText(error));
        return std::nullopt;
    }
}

int sendVerb(const QStringList &given)
{
    QStringList arguments = given;
    qint64 from = 0;
    int pass = 1;
    if (const std::optional<int> bad = takeRestartPoint("--send", arguments, false, from, pass))
        return *bad;
    if (arguments.size() != 2)
        return usage("--send", QStringLiteral("--send takes a machine and a program, then optionally --from and a line."));
    const QString &programFile = arguments[1];
    const std::optional<comm::MachineProfile> profile = machineNamed(arguments[0]);
    if (!profile)
        return BadUsage;
    if (!QFileInfo(programFile).isFile()) {
        printError(QStringLiteral("vornexa: there is no program file %1.").arg(programFile));
        return BadUsage;
    }

    const std::unique_ptr<SettingsStore> settings = openSettings();
    GlobalVar values;
    values.numbers.read(*settings);
    values.io.read(*settings);
    if (!values.io.recLenProblem.isEmpty())
        printError(QStringLiteral("vornexa: ") + values.io.recLenProblem);
    // Caught from here on, so that a stop while the program loads still takes its stores away.
    StopSignals stop;
    struct Stopped
    {
    };
    LoadedProgram loaded(values.io);
    tessarc::Program &program = loaded.program();
    ProgressLine progress;
    const QString name = QFileInfo(programFile).fileName();
    try {
        program.load(QFileInfo(programFile).absoluteFilePath(), [&](qint64 done, qint64 total) {
            if (!StopSignals::caught().isEmpty())
                throw Stopped();
            progress.show(QStringLiteral("Loading %1: %2%").arg(name).arg(total > 0 ? done * 100 / total : 100));
        });
    } catch (const comm::ControlError &error) {
        progress.end();
        printError(comm::errorText(error));
        return Failed;
    } catch (const Stopped &) {
        progress.end();
        printError(QStringLiteral("vornexa: stopped by %1 while loading %2; nothing was sent.")
                       .arg(StopSignals::caught(), programFile));
        return Failed;
    }
    progress.end();
    if (program.lineCount() == 0) {
        printError(QStringLiteral("vornexa: %1 has no lines; nothing was sent.").arg(programFile));
        return Failed;
    }

    // From a line: the restart program, made as --restart makes it, goes out in the program's place.
    comm::RestartCopy restart;
    QString what = programFile;
    if (from > 0) {
        QString warning;
        const interp::MachineSetup machine = comm::machineSetupFor(profile->name, *settings, warning);
        if (!warning.isEmpty())
            printError(QStringLiteral("vornexa: ") + warning);
        interp::Setup setup;
        setup.dialect = machine.dialect;
        setup.subroutineFolder = QFileInfo(programFile).absolutePath();
        const interp::RestartPlan plan = comm::planRestartOf(program, setup, machine, from, pass, [&](qint64 reached) {
            progress.show(QStringLiteral("Following %1: line %2").arg(name).arg(reached));
            return StopSignals::caught().isEmpty();
        });
        progress.end();
        if (!StopSignals::caught().isEmpty()) {
            printError(QStringLiteral("vornexa: stopped by %1; nothing was sent.").arg(StopSignals::caught()));
            return Failed;
        }
        if (!plan.ok) {
            printError(QStringLiteral("vornexa: no restart of %1 from line %2: %3; nothing was sent.").arg(programFile).arg(from).arg(plan.refusal));
            return Failed;
        }
        if (const std::optional<QString> failure = restart.make(program, plan)) {
            printError(QStringLiteral("vornexa: the restart of %1 could not be made: %2; nothing was sent.").arg(programFile, *failure));
            return Failed;
        }
        what = QStringLiteral("the restart of %1 from %2").arg(programFile, plan.where);
    }
    tessarc::Program &sent = from > 0 ? restart.program() : program;

    comm::SendJob job;
    job.program = &sent;
    job.first = 1;
    job.last = sent.lineCount();
    job.programFile = program.path;
    job.percentFormat = values.numbers.percentFormat;
    comm::SendTransfer transfer(*profile, comm::PortMap::read(*settings), job);
    QObject::connect(&transfer, &comm::SendTransfer::progress, [&](const QString &caption) {
        progress.show(QStringLiteral("Sending %1 to %2: %3").arg(name, profile->name, caption));
    });
    QObject::connect(&stop, &StopSignals::arrived, &transfer, &comm::SendTransfer::cancel);
    const comm::TransferResult result = waitForEnd(transfer);
    progress.end();
    switch (result.outcome) {
    case comm::TransferResult::Outcome::Done:
        printOut(QStringLiteral("vornexa: sent %1 lines of %2 to %3.").arg(result.count).arg(what, profile->name));
        return Done;
    case comm::TransferResult::Outcome::Cancelled:
        printError(QStringLiteral("vornexa: stopped by %1 after %2 of %3 lines; no end text was sent.")
                       .arg(StopSignals::caught())
                       .arg(result.count)
                       .arg(job.last));
        return Failed;
    default:
        printError(result.message);
        return Failed;
    }
}

int receiveVerb(const QStringList &arguments)
{
    int idleSeconds = 10;
    if (arguments.size() == 4 && arguments[2] == QLatin1String("--idle")) {
        bool ok = false;
        idleSeconds = arguments[3].toInt(&ok);
        if (!ok || idleSeconds < 0 || idleSeconds > 86400)
            return usage("--receive", QStringLiteral("--idle takes a whole number of seconds from 0 to 86400, not \"%1\".")
                                          .arg(arguments[3]));
    } else if (arguments.size() != 2) {
        return usage("--receive", QStringLiteral("--receive takes a machine and an output file, then optionally --idle "
                                                 "and a number of seconds."));
    }
    const QString &output = arguments[1];
    const std::optional<comm::MachineProfile> profile = machineNamed(arguments[0]);
    if (!profile)
        return BadUsage;
    // Checked before anything arrives, so that a capture is never made for a place it cannot go.
    const QFileInfo target(output);
    if (target.isDir() || !target.absoluteDir().exists()) {
        printError(QStringLiteral("vornexa: %1 cannot be an output file: %2.")
                       .arg(output, target.isDir() ? QStringLiteral("it is a folder")
                                                   : QStringLiteral("its folder does not exist")));
        return BadUsage;
    }

    const std::unique_ptr<SettingsStore> settings = openSettings();
    comm::ReceiveTransfer transfer(*profile, comm::PortMap::read(*settings), comm::capturePath());
    transfer.setIdleSeconds(idleSeconds);
    ProgressLine progress;
    QObject::connect(&transfer, &comm::ReceiveTransfer::progress, [&](qint64 written) {
        progress.show(QStringLiteral("Receiving from %1: %2 characters").arg(profile->name).arg(written));
    });
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::arrived, &transfer, &comm::ReceiveTransfer::stop);
    const comm::TransferResult result = waitForEnd(transfer);
    progress.end();
    if (result.outcome == comm::TransferResult::Outcome::NothingReceived) {
        printError(result.message);
        return Failed;
    }
    if (result.outcome == comm::TransferResult::Outcome::Failed)
        printError(result.message);
    if (result.count == 0)
        return Failed;
    if (result.captureFailed) {
        // A capture cut short by its own file is not what the machine sent: the output keeps what
        // it held.
        printError(QStringLiteral("vornexa: %1 characters were captured into %2 before it could take no more; %3 "
                                  "was left as it was.")
                       .arg(result.count)
                       .arg(transfer.capture(), output));
        return Failed;
    }
    // What arrived is written even after a failure of the line; the exit code still tells of it.
    try {
        comm::saveCaptureAs(transfer.capture(), output);
    } catch (const comm::ControlError &error) {
        printError(comm::errorText(error) + QStringLiteral(" What arrived is kept in %1.").arg(transfer.capture()));
        return Failed;
    }
    printOut(QStringLiteral("vornexa: received %1 characters from %2 into %3.")
                 .arg(result.count)
                 .arg(profile->name, output));
    return result.outcome == comm::TransferResult::Outcome::Done ? Done : Failed;
}

} // namespace headless
