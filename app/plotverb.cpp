// vornexa --plot: a picture of a program's toolpath, drawn with no window and no display.

#include "headless.h"

#include "camera.h"
#include "controlerror.h"
#include "interpoptions.h"
#include "motion.h"
#include "pathgeometry.h"
#include "program.h"
#include "raster.h"
#include "safefile.h"

#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>

namespace headless {

namespace {

constexpr int kSmallest = 16;
constexpr int kLargest = 8192;

} // namespace

int plotVerb(const QStringList &arguments)
{
    QStringList rest = arguments;
    interp::Setup setup;
    QString toolTable;
    if (const std::optional<int> bad = takeInterpreterOptions("--plot", rest, setup, toolTable))
        return *bad;
    const std::optional<QString> viewText = takeOption(rest, QStringLiteral("--view"));
    plot::View view = plot::View::Iso;
    if (!viewText || (!viewText->isEmpty() && !plot::viewNamed(*viewText, view)))
        return usage("--plot", QStringLiteral("--view takes top, front, side, iso or lathe."));
    const std::optional<QString> sizeText = takeOption(rest, QStringLiteral("--size"));
    QSize size(1200, 900);
    if (!sizeText || !sizeText->isEmpty()) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$")).match(sizeText.value_or(QString()));
        size = m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
        if (size.width() < kSmallest || size.height() < kSmallest || size.width() > kLargest || size.height() > kLargest)
            return usage("--plot", QStringLiteral("--size takes WIDTHxHEIGHT in pixels, each %1 to %2, such as 1200x900.")
                                       .arg(kSmallest)
                                       .arg(kLargest));
    }
    const std::optional<OutputArguments> read = withOutput(rest);
    if (!read)
        return usage("--plot", QStringLiteral("-o takes one output file."));
    if (read->plain.size() != 1 || read->output.isEmpty())
        return usage("--plot", QStringLiteral("--plot takes one program and -o with the picture file (PNG), then "
                                              "optionally --view, --size, --dialect and --tools."));
    const QString &programFile = read->plain[0];
    const QString &output = read->output;
    if (!QFileInfo(programFile).isFile()) {
        printError(QStringLiteral("vornexa: there is no program file %1.").arg(programFile));
        return BadUsage;
    }
    if (const std::optional<int> bad = finishSetup(programFile, toolTable, setup))
        return *bad;

    // SIGINT or SIGTERM, from here on, stops the job between two lines or before the picture is
    // written, with nothing written.
    StopSignals stop;
    OpenedProgram opened;
    if (!opened.open(programFile))
        return Failed;
    const tessarc::Program &program = opened.program;

    // The program is followed line by line, its moves made into pieces of the path as they come.
    ProgressLine progress;
    interp::Interpreter interpreter(setup);
    plot::PathBuilder builder(0.01);
    plot::PathGeometry geometry;
    QList<interp::Finding> findings;
    // A lathe program: in G18 in diameter mode at some point, or in G18 throughout with Y never moved.
    bool diameterMode = false;
    bool xzOnly = true;
    const std::optional<QString> failure = tessarc::failureOf([&] {
        interp::StoreLines lines(program.store, program.recordLength, program.lineCount());
        QList<interp::Move> moves;
        QList<interp::Finding> found;
        plot::PathPiece piece;
        qint64 steps = 0;
        bool more = true;
        while (more) {
            more = interpreter.step(lines, moves, found);
            for (const interp::Move &move : moves)
                xzOnly = xzOnly && move.plane == 18 && move.end[1] == 0.0;
            builder.extend(piece, moves, found);
            findings.append(found);
            moves.clear();
            found.clear();
            const interp::ModalState &modal = interpreter.state().modal;
            diameterMode = diameterMode || (modal.diameter && modal.plane == 180);
            if (piece.segments.size() >= 50000 || !more) {
                const qint64 next = piece.firstMove + piece.moveCount;
                geometry.append(std::move(piece));
                piece = plot::PathPiece();
                piece.firstMove = next;
            }
            if ((++steps & 1023) == 0) {
                if (!StopSignals::caught().isEmpty())
                    return;
                progress.show(QStringLiteral("Following line %1 of %2").arg(interpreter.state().line).arg(lines.lineCount()));
            }
        }
    });
    progress.end();
    if (failure) {
        printError(QStringLiteral("vornexa: %1 could not be followed: %2. Nothing was written.").arg(programFile, *failure));
        return Failed;
    }
    if (!StopSignals::caught().isEmpty()) {
        printError(QStringLiteral("vornexa: stopped by %1; nothing was written.").arg(StopSignals::caught()));
        return Failed;
    }
    for (const interp::Finding &finding : findings)
        printError(QStringLiteral("line %1: %2").arg(finding.line).arg(finding.reason));
    if (geometry.segmentCount() == 0) {
        printError(QStringLiteral("vornexa: %1 makes no move to draw; nothing was written.").arg(programFile));
        return Failed;
    }

    // A lathe program is seen from the side of its XZ plane unless another view is asked for.
    if (viewText->isEmpty() && (diameterMode || xzOnly))
        view = plot::View::Lathe;
    plot::Camera camera;
    camera.setViewport(size);
    camera.setView(view);
    camera.fit(geometry.extents());
    // Arcs drawn again to a quarter of a pixel at this scale, so no chord shows.
    const double tolerance = camera.mmPerPixel() * 0.25;
    if (!geometry.arcs().empty() && std::abs(tolerance - geometry.tolerance()) > geometry.tolerance() * 0.25)
        geometry = geometry.retessellated(tolerance);
    plot::RasterReport drawn;
    const QImage picture = plot::render(geometry, camera, {}, &drawn);

    if (!StopSignals::caught().isEmpty()) {
        printError(QStringLiteral("vornexa: stopped by %1; nothing was written.").arg(StopSignals::caught()));
        return Failed;
    }
    tessarc::SafeFile file(output);
    if (!file.open(QIODevice::WriteOnly)) {
        printError(QStringLiteral("vornexa: %1 cannot be written: %2. Nothing was written.").arg(output, file.errorString()));
        return Failed;
    }
    if (!picture.save(&file, "PNG") || !file.commit()) {
        const QString why = file.errorString().isEmpty() ? QStringLiteral("the picture could not be encoded") : file.errorString();
        file.cancelWriting();
        printError(QStringLiteral("vornexa: %1 was not written: %2. Nothing was written.").arg(output, why));
        return Failed;
    }
    printOut(QStringLiteral("vornexa: drew %1 moves of %2 (%3 segments%4) in the %5 view at %6x%7 into %8%9")
                 .arg(geometry.moveCount())
                 .arg(QFileInfo(programFile).fileName())
                 .arg(drawn.segmentsDrawn)
                 .arg(drawn.decimated ? QStringLiteral(", lightened") : QString())
                 .arg(QLatin1String(plot::viewName(view)))
                 .arg(size.width())
                 .arg(size.height())
                 .arg(output)
                 .arg(findings.isEmpty() ? QStringLiteral(".")
                                         : findings.size() == 1 ? QStringLiteral("; 1 line could not be followed.")
                                                                : QStringLiteral("; %1 lines could not be followed.").arg(findings.size())));
    return findings.isEmpty() ? Done : Failed;
}

} // namespace headless
