// vornexa --check: whether a program will run on a machine, and how long it takes, with no window.

#include "headless.h"

#include "check.h"
#include "controlerror.h"
#include "interpoptions.h"
#include "machinefolder.h"
#include "machinesetupfor.h"
#include "settingsstore.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace headless {

namespace {

QString severityName(interp::Severity severity)
{
    return severity == interp::Severity::Error ? QStringLiteral("error") : QStringLiteral("warning");
}

QByteArray asJson(const QString &program, const QString &machine, const interp::CheckRun &run)
{
    const interp::CheckSummary &s = run.summary;
    QJsonArray findings;
    for (const interp::Finding &f : run.findings)
        findings.append(QJsonObject{{"line", f.line}, {"severity", severityName(f.severity)}, {"reason", f.reason}});
    QJsonObject extents;
    for (int a = 0; a < interp::kAxes; ++a) {
        if (s.axesUsed & (1u << a))
            extents.insert(QString(QLatin1Char(interp::axisLetter(a))), QJsonArray{s.min[a], s.max[a]});
    }
    QJsonArray tools;
    for (const interp::CheckSummary::Tool &tool : s.tools)
        tools.append(QJsonObject{{"tool", tool.tool}, {"seconds", tool.seconds}, {"feedLength", tool.feedLength}, {"rapidLength", tool.rapidLength}});
    const QJsonObject summary{{"lines", run.lines},           {"moves", s.moves},
                              {"extents", extents},           {"rapidLength", s.rapidLength},
                              {"feedLength", s.feedLength},   {"seconds", s.seconds},
                              {"plainSeconds", s.plainSeconds}, {"tools", tools}};
    const QJsonObject all{{"program", program}, {"machine", machine},   {"errors", s.errors},
                          {"warnings", s.warnings}, {"findings", findings}, {"summary", summary}};
    return QJsonDocument(all).toJson(QJsonDocument::Indented);
}

} // namespace

int checkVerb(const QStringList &arguments)
{
    QStringList rest = arguments;
    const std::optional<QString> machineName = takeOption(rest, QStringLiteral("--machine"));
    if (!machineName)
        return usage("--check", QStringLiteral("--machine takes a machine's name."));
    const bool json = rest.removeAll(QStringLiteral("--json")) > 0;

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
    if (const std::optional<int> bad = takeInterpreterOptions("--check", rest, setup, toolTable))
        return *bad;
    if (rest.size() != 1)
        return usage("--check", QStringLiteral("--check takes one program, then optionally --machine and its name, --dialect, --tools and --json."));
    const QString &programFile = rest[0];
    if (!QFileInfo(programFile).isFile()) {
        printError(QStringLiteral("vornexa: there is no program file %1.").arg(programFile));
        return BadUsage;
    }
    if (!warning.isEmpty())
        printError(QStringLiteral("vornexa: ") + warning);
    if (const std::optional<int> bad = finishSetup(programFile, toolTable, setup))
        return *bad;

    // SIGINT or SIGTERM stops the check between two lines, and nothing is reported as checked.
    StopSignals stop;
    OpenedProgram source;
    if (!source.open(programFile))
        return Failed;
    const tessarc::Program &program = source.program;
    ProgressLine progress;
    interp::CheckRun run;
    qint64 reached = 0;
    const std::optional<QString> failure = tessarc::failureOf([&] {
        interp::StoreLines lines(program.store, program.recordLength, program.lineCount());
        run = interp::checkProgram(lines, setup, machine, false, [&](qint64 line) {
            reached = line;
            progress.show(QStringLiteral("checking line %1 of %2").arg(line).arg(program.lineCount()));
            return StopSignals::caught().isEmpty();
        });
    });
    progress.end();
    if (failure) {
        printError(QStringLiteral("vornexa: %1 could not be checked: %2.").arg(programFile, *failure));
        return Failed;
    }
    if (run.cancelled) {
        printError(QStringLiteral("vornexa: the check of %1 was stopped by %2 at line %3; nothing is reported.")
                       .arg(programFile, StopSignals::caught())
                       .arg(reached));
        return Failed;
    }

    const QString name = QFileInfo(programFile).fileName();
    if (json) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(asJson(name, *machineName, run)) < 0) {
            printError(QStringLiteral("vornexa: the report could not be written: %1.").arg(out.errorString()));
            return Failed;
        }
    } else {
        for (const interp::Finding &f : run.findings)
            printOut(QStringLiteral("line %1: %2: %3").arg(f.line).arg(severityName(f.severity), f.reason));
        for (const QString &line : interp::summaryLines(name, run))
            printOut(line);
    }
    return run.summary.errors > 0 ? Failed : Done;
}

} // namespace headless
