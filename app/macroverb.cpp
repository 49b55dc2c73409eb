// vornexa --macro: runs a macro on a program with no window: each step's tool made from the step and
// run on the program, as its window's Go runs it.

#include "headless.h"

#include "globalvar.h"
#include "macrofile.h"
#include "macrorun.h"
#include "program.h"
#include "programfolder.h"
#include "programsession.h"
#include "settingsstore.h"
#include "toolwindow.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <variant>

namespace headless {

namespace {

QString unixLines(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// A reason as a sentence of a message.
QString sentence(QString text)
{
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    return text;
}

// The settings a run reads, as the window reads them.
GlobalVar readValues(SettingsStore &settings)
{
    GlobalVar values;
    if (settings.title() != values.brand.programTitle)
        values.brand.productName = values.brand.programTitle = settings.title();
    values.numbers.read(settings);
    values.comments.read(settings);
    values.messages.read(settings);
    values.io.read(settings);
    return values;
}

// What a run is asked to do, once its arguments are read and checked: nothing is run for a macro,
// a program or an output that cannot be used.
struct MacroJob
{
    QString name;
    QString program;
    QString output;
    QList<macro::MacroStep> steps;
};

// The job the arguments ask for, or the exit code of why there is none (said on stderr).
std::variant<MacroJob, int> readJob(const QStringList &arguments)
{
    const std::optional<OutputArguments> given = withOutput(arguments);
    if (!given)
        return usage("--macro", QStringLiteral("-o takes one output file."));
    const QStringList &plain = given->plain;
    if (plain.size() != 2)
        return usage("--macro", QStringLiteral("--macro takes a macro and a program, then optionally -o and an output file."));
    MacroJob job{plain[0], plain[1], given->output.isEmpty() ? plain[1] : given->output, {}};
    const QString path = macro::macroPath(macro::macroFolder(), job.name);
    if (macro::macroNameRefused(job.name) || !QFileInfo(path).isFile()) {
        printError(QStringLiteral("vornexa: there is no macro \"%1\" (no file %2).").arg(job.name, path));
        return BadUsage;
    }
    macro::DecodedMacro read = macro::readMacro(path);
    if (!read.ok()) {
        printError(QStringLiteral("vornexa: ") + read.error + QStringLiteral(" Nothing was run."));
        return BadUsage;
    }
    job.steps = std::move(read.steps);
    if (!QFileInfo(job.program).isFile()) {
        printError(QStringLiteral("vornexa: there is no program file %1.").arg(job.program));
        return BadUsage;
    }
    // Checked before anything runs, so that a run is never made for a place it cannot go.
    const QFileInfo target(job.output);
    if (target.isDir() || !target.absoluteDir().exists()) {
        printError(QStringLiteral("vornexa: %1 cannot be an output file: %2.")
                       .arg(job.output, target.isDir() ? QStringLiteral("it is a folder")
                                                       : QStringLiteral("its folder does not exist")));
        return BadUsage;
    }
    return job;
}

} // namespace

int macroVerb(const QStringList &arguments)
{
    std::variant<MacroJob, int> asked = readJob(arguments);
    if (const int *refused = std::get_if<int>(&asked))
        return *refused;
    const MacroJob &job = std::get<MacroJob>(asked);
    const QString &name = job.name;
    const QString &programFile = job.program;
    const QString &output = job.output;

    const std::unique_ptr<SettingsStore> settings = openSettings();
    const GlobalVar values = readValues(*settings);
    if (!values.io.recLenProblem.isEmpty())
        printError(QStringLiteral("vornexa: ") + values.io.recLenProblem);
    tessarc::Program program;
    values.io.applyTo(program);
    // Stores of its own, apart from those of any window that runs meanwhile; gone when the job ends.
    ProgramSession session(program, tessarc::programFolder(), cliStoreStem());
    const auto cleared = qScopeGuard([&program] { program.removeStores(); });
    if (!session.open(programFile, values.io.recLen)) {
        printError(QStringLiteral("vornexa: %1 cannot be opened: %2 Nothing was run.").arg(programFile, sentence(session.error())));
        return Failed;
    }

    // A stop asked for by SIGINT or SIGTERM ends the run between two steps; what ran is saved.
    StopSignals stop;
    macro::ProgramSteps steps(tools::runPlaceFor(values, program, 1), values.brand.stepSeparator);
    macro::MacroRunner runner(steps);
    runner.setStopRequested([] { return !StopSignals::caught().isEmpty(); });
    ProgressLine progress;
    QObject::connect(&runner, &macro::MacroRunner::stepStarted, [&](int number, int count) {
        progress.show(QStringLiteral("%1/%2 Running %3").arg(number).arg(count).arg(name));
    });
    QObject::connect(&runner, &macro::MacroRunner::stepFinished, [&](const macro::StepResult &step) {
        if (step.outcome == macro::StepOutcome::Ran)
            return;
        progress.end();
        printError(QStringLiteral("vornexa: step %1 (%2) %3: %4")
                       .arg(step.number)
                       .arg(step.step.stepType,
                            step.outcome == macro::StepOutcome::Refused ? QStringLiteral("refused")
                                                                        : QStringLiteral("failed"),
                            step.reason));
    });
    const macro::RunResult result = runner.run(job.steps);
    progress.end();
    if (!result.started) {
        printError(QStringLiteral("vornexa: the program could not be taken for the run; nothing was run or saved."));
        return Failed;
    }
    // Saved first, then reported: a report nobody reads (a closed pipe) never costs the result.
    const QString outputPath = QFileInfo(output).absoluteFilePath();
    const bool saved = session.save(outputPath);
    printOut(unixLines(macro::reportText(name, result.startedAt, result.endedAt, result.ms, result.runLog())));
    if (!saved) {
        printError(QStringLiteral("vornexa: %1 was not saved: %2 The output is as it was.").arg(outputPath, sentence(session.error())));
        return Failed;
    }
    if (result.stopped)
        printError(QStringLiteral("vornexa: stopped by %1 before the last step; what ran is saved.").arg(StopSignals::caught()));
    return result.allRan(static_cast<int>(job.steps.size())) ? Done : Failed;
}

} // namespace headless
