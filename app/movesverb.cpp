// vornexa --moves: what a program makes the machine do, one row a move, with no window.

#include "headless.h"

#include "controlerror.h"
#include "globalvar.h"
#include "motion.h"
#include "program.h"
#include "programfolder.h"
#include "programsession.h"
#include "safefile.h"
#include "settingsstore.h"
#include "storeblocks.h"

#include <QFileInfo>
#include <QScopeGuard>

namespace headless {

int movesVerb(const QStringList &arguments)
{
    const std::optional<OutputArguments> read = withOutput(arguments);
    if (!read)
        return usage("--moves", QStringLiteral("-o takes one output file."));
    if (read->plain.size() != 1)
        return usage("--moves", QStringLiteral("--moves takes one program, then optionally -o and an output file."));
    const QString &programFile = read->plain[0];
    const QString &output = read->output;
    if (!QFileInfo(programFile).isFile()) {
        printError(QStringLiteral("vornexa: there is no program file %1.").arg(programFile));
        return BadUsage;
    }

    IoSettings io;
    io.read(*openSettings());
    tessarc::Program program;
    io.applyTo(program);
    ProgramSession session(program, tessarc::programFolder(), cliStoreStem());
    const auto cleared = qScopeGuard([&program] { program.removeStores(); });
    if (!session.open(programFile, io.recLen)) {
        printError(QStringLiteral("vornexa: %1 cannot be opened: %2").arg(programFile, session.error()));
        return Failed;
    }

    interp::Interpreter interpreter;
    QList<interp::Move> moves;
    QList<interp::Finding> findings;
    QByteArray table = interp::movesHeader().toUtf8() + '\n';
    const std::optional<QString> failure = tessarc::failureOf([&] {
        tessarc::StoreBlocks blocks(program, tessarc::LineNumber(1), program.lineCount());
        while (blocks.next()) {
            for (qint64 i = 0; i < blocks.blockLines(); ++i) {
                moves.clear();
                interpreter.follow(blocks.line(i), (blocks.blockFirst() + i).value, moves, findings);
                for (const interp::Move &move : moves)
                    table += interp::moveRow(move).toUtf8() + '\n';
            }
        }
    });
    if (failure) {
        printError(QStringLiteral("vornexa: %1 could not be read: %2. Nothing was written.").arg(programFile, *failure));
        return Failed;
    }
    if (output.isEmpty()) {
        std::fwrite(table.constData(), 1, static_cast<std::size_t>(table.size()), stdout);
        std::fflush(stdout);
    } else if (const std::optional<QString> refused = tessarc::SafeFile::writeWhole(output, table)) {
        printError(QStringLiteral("vornexa: %1 was not written: %2").arg(output, *refused));
        return Failed;
    }
    for (const interp::Finding &finding : findings)
        printError(QStringLiteral("line %1: %2").arg(finding.line).arg(finding.reason));
    return findings.isEmpty() ? Done : Failed;
}

} // namespace headless
