// vornexa --moves: what a program makes the machine do, one row a move, with no window.

#include "headless.h"

#include "controlerror.h"
#include "interpoptions.h"
#include "motion.h"
#include "program.h"
#include "safefile.h"

#include <QFile>
#include <QFileInfo>

namespace headless {

int movesVerb(const QStringList &arguments)
{
    QStringList rest = arguments;
    interp::Setup setup;
    QString toolTable;
    if (const std::optional<int> bad = takeInterpreterOptions("--moves", rest, setup, toolTable))
        return *bad;
    const std::optional<OutputArguments> read = withOutput(rest);
    if (!read)
        return usage("--moves", QStringLiteral("-o takes one output file."));
    if (read->plain.size() != 1)
        return usage("--moves", QStringLiteral("--moves takes one program, then optionally --dialect and its name, --tools and a tool table, -o and an output file."));
    const QString &programFile = read->plain[0];
    const QString &output = read->output;
    if (!QFileInfo(programFile).isFile()) {
        printError(QStringLiteral("vornexa: there is no program file %1.").arg(programFile));
        return BadUsage;
    }

    if (const std::optional<int> bad = finishSetup(programFile, toolTable, setup))
        return *bad;

    OpenedProgram source;
    if (!source.open(programFile))
        return Failed;
    const tessarc::Program &program = source.program;

    // The rows go out as they are made, a block at a time, so a program of any size takes the
    // same memory; a file is written aside and put in place only once it is whole.
    QFile standardOutput;
    tessarc::SafeFile file(output);
    QIODevice &out = output.isEmpty() ? static_cast<QIODevice &>(standardOutput) : file;
    const bool opened = output.isEmpty() ? standardOutput.open(stdout, QIODevice::WriteOnly) : file.open(QIODevice::WriteOnly);
    if (!opened) {
        printError(QStringLiteral("vornexa: %1 cannot be written: %2").arg(output, out.errorString()));
        return Failed;
    }
    interp::Interpreter interpreter(setup);
    QList<interp::Move> moves;
    QList<interp::Finding> findings;
    QByteArray rows;
    bool written = true;
    const auto flush = [&] {
        written = written && out.write(rows) == rows.size();
        rows.clear();
    };
    const std::optional<QString> failure = tessarc::failureOf([&] {
        interp::StoreLines lines(program.store, program.recordLength, program.lineCount());
        const bool uvw = interp::usesUvw(lines);
        rows = interp::movesHeader(uvw).toUtf8() + '\n';
        while (interpreter.step(lines, moves, findings)) {
            for (const interp::Move &move : moves)
                interp::appendMoveRow(rows, move, uvw);
            moves.clear();
            if (rows.size() > 256 * 1024)
                flush();
        }
        for (const interp::Move &move : moves)
            interp::appendMoveRow(rows, move, uvw);
        flush();
    });
    if (failure || !written || (!output.isEmpty() && !file.commit())) {
        if (!output.isEmpty())
            file.cancelWriting();
        printError(QStringLiteral("vornexa: the moves of %1 were not written whole: %2.")
                       .arg(programFile, failure ? *failure : out.errorString()));
        return Failed;
    }
    standardOutput.close();
    for (const interp::Finding &finding : findings)
        printError(QStringLiteral("line %1: %2").arg(finding.line).arg(finding.reason));
    return findings.isEmpty() ? Done : Failed;
}

} // namespace headless
