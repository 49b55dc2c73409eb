// vornexa --restart: a program that goes on from one of its lines, written to a file, with no window.

#include "headless.h"

#include "interpoptions.h"
#include "machinefolder.h"
#include "machinesetupfor.h"
#include "restartprogram.h"
#include "settingsstore.h"

#include <QDir>
#include <QFileInfo>

namespace headless {

int restartVerb(const QStringList &arguments)
{
    QStringList rest = arguments;
    qint64 line = 0;
    int pass = 1;
    if (const std::optional<int> bad = takeRestartPoint("--restart", rest, true, line, pass))
        return *bad;
    const std::optional<QString> output = takeOption(rest, QStringLiteral("-o"));
    if (!output || output->isEmpty())
        return usage("--restart", QStringLiteral("-o takes the file to write the restart program to."));
    const std::optional<QString> machineName = takeOption(rest, QStringLiteral("--machine"));
    if (!machineName)
        return usage("--restart", QStringLiteral("--machine takes a machine's name."));

    const std::unique_ptr<SettingsStore> settings = openSettings();
    if (!machineName->isEmpty() && !comm::MachineFolder::standard().contains(*machineName)) {
        printError(QStringLiteral("vornexa: there is no machine %1.").arg(*machineName));
        return BadUsage;
    }
    QString warning;
    const interp::MachineSetup machine = comm::machineSetupFor(*machineName, *settings, warning);
    interp::Setup setup;
    setup.dialect = machine.dialect;
    QString toolTable;
    if (const std::optional<int> bad = takeInterpreterOptions("--restart", rest, setup, toolTable))
        return *bad;
    if (rest.size() != 1)
        return usage("--restart", QStringLiteral("--restart takes one program, --from and a line, -o and a file, then optionally "
                                                 "--pass, --machine, --dialect and --tools."));
    const QString &programFile = rest[0];
    if (!QFileInfo(programFile).isFile()) {
        printError(QStringLiteral("vornexa: there is no program file %1.").arg(programFile));
        return BadUsage;
    }
    const QFileInfo target(*output);
    if (target.isDir() || !target.absoluteDir().exists()) {
        printError(QStringLiteral("vornexa: %1 cannot be an output file: %2.")
                       .arg(*output, target.isDir() ? QStringLiteral("it is a folder") : QStringLiteral("its folder does not exist")));
        return BadUsage;
    }
    if (!warning.isEmpty())
        printError(QStringLiteral("vornexa: ") + warning);
    if (const std::optional<int> bad = finishSetup(programFile, toolTable, setup))
        return *bad;

    StopSignals stop;
    OpenedProgram source;
    if (!source.open(programFile))
        return Failed;
    const tessarc::Program &program = source.program;
    ProgressLine progress;
    const interp::RestartPlan plan = comm::planRestartOf(program, setup, machine, line, pass, [&](qint64 reached) {
        progress.show(QStringLiteral("following line %1 of %2").arg(reached).arg(program.lineCount()));
        return StopSignals::caught().isEmpty();
    });
    progress.end();
    if (!StopSignals::caught().isEmpty()) {
        printError(QStringLiteral("vornexa: stopped by %1; nothing was written.").arg(StopSignals::caught()));
        return Failed;
    }
    if (!plan.ok) {
        printError(QStringLiteral("vornexa: no restart of %1 from line %2: %3.").arg(programFile).arg(line).arg(plan.refusal));
        return Failed;
    }
    const std::optional<QString> failure = comm::saveRestart(program, plan, *output, [&](qint64 done, qint64 total) {
        progress.show(QStringLiteral("writing line %1 of %2").arg(done).arg(total));
        return StopSignals::caught().isEmpty();
    });
    progress.end();
    if (failure) {
        printError(QStringLiteral("vornexa: %1 was not written: %2.").arg(*output, *failure));
        return Failed;
    }
    printOut(QStringLiteral("vornexa: wrote the restart of %1 from %2 to %3: %4 lines of state and approach, then the "
                            "program's own; its %5 moves are the program's.")
                 .arg(programFile, plan.where, *output)
                 .arg(plan.firstOfProgram - 1)
                 .arg(plan.movesCompared));
    return Done;
}

} // namespace headless
