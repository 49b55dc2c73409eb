// The toolpath drawing's figure of vornexa-bench, run by name (--only plot): a program (the
// generated one, or --program FILE) followed by the interpreter with its moves kept (the floor),
// then its geometry made from those moves a step at a time, as the window's builder makes it; the
// arcs drawn again to a quarter of a pixel of a 1200 x 900 view fitted to the path; the lighter
// path for half a pixel; the picking grid for that view and a pick; and the path drawn into a
// 1200 x 900 image on the CPU, as vornexa --plot draws it.
// Targets: the geometry at most the interpreter's own time (1 ×), the picking grid under 0.1 s and
// a pick under 1 ms, a picture under 1 s, at most 40 bytes a segment.

#include "benchtools.h"

#include "camera.h"
#include "linesource.h"
#include "motion.h"
#include "pathgeometry.h"
#include "pickindex.h"
#include "raster.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

QStringList plotFigures();
int runPlotFigure(const QString &program, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));

using namespace benchtools;

namespace {

constexpr int kPicks = 1000;

struct Followed
{
    QList<QList<interp::Move>> moves; // a step's moves, step by step
    qint64 count = 0;
};

Followed follow(const QByteArray &text, const interp::Setup &setup)
{
    interp::TextLines lines(text);
    interp::Interpreter interpreter(setup);
    Followed followed;
    QList<interp::Finding> findings;
    bool more = true;
    while (more) {
        QList<interp::Move> moves;
        more = interpreter.step(lines, moves, findings);
        followed.count += moves.size();
        if (!moves.isEmpty())
            followed.moves.append(std::move(moves));
    }
    return followed;
}

double timed(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e9;
}

QString ms(double s)
{
    return QString::number(s * 1000.0, 'f', s < 0.01 ? 3 : 1) + QStringLiteral(" ms");
}

QString verdict(bool met)
{
    return met ? QString() : QStringLiteral(" MISSED");
}

} // namespace

QStringList plotFigures()
{
    return {QStringLiteral("plot")};
}

int runPlotFigure(const QString &programFile, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64))
{
    QByteArray text;
    QString name = programFile;
    interp::Setup setup;
    if (programFile.isEmpty()) {
        const QString base = dir.isEmpty() ? QStringLiteral("/tmp") : dir;
        QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
        check(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));
        const QString path = QDir(scratch.path()).filePath(QStringLiteral("big.nc"));
        writeProgram(path, lines, programLine);
        QFile file(path);
        check(file.open(QIODevice::ReadOnly), QStringLiteral("cannot read %1").arg(path));
        text = file.readAll();
        name = QStringLiteral("the generated program of %1 lines").arg(lines);
    } else {
        QFile file(programFile);
        check(file.open(QIODevice::ReadOnly), QStringLiteral("cannot read %1").arg(programFile));
        text = file.readAll();
        setup.subroutineFolder = QFileInfo(programFile).absolutePath();
        name = QFileInfo(programFile).fileName();
    }

    std::vector<double> follows, builds, finer, lighter, grids, picks, pictures;
    Followed followed;
    plot::PathGeometry geometry;
    plot::PathGeometry light;
    plot::Camera camera;
    camera.setViewport(QSize(1200, 900));
    camera.setView(plot::View::Iso);
    plot::RasterReport drawn;
    QRandomGenerator random(7);
    for (int run = 0; run < runs; ++run) {
        follows.push_back(timed([&] { followed = follow(text, setup); }));
        builds.push_back(timed([&] {
            plot::PathBuilder builder(0.01);
            plot::PathPiece piece;
            geometry = plot::PathGeometry();
            for (const QList<interp::Move> &moves : followed.moves) {
                builder.extend(piece, moves);
                if (piece.segments.size() >= 50000) {
                    const qint64 next = piece.firstMove + piece.moveCount;
                    geometry.append(std::move(piece));
                    piece = plot::PathPiece();
                    piece.firstMove = next;
                }
            }
            geometry.append(std::move(piece));
        }));
        camera.fit(geometry.extents());
        finer.push_back(timed([&] { geometry = geometry.retessellated(camera.mmPerPixel() * 0.25); }));
        lighter.push_back(timed([&] { light = geometry.decimated(camera.mmPerPixel() * 0.5); }));
        plot::PickIndex index;
        grids.push_back(timed([&] { index.build(geometry, camera); }));
        int found = 0;
        const double pickTime = timed([&] {
            for (int i = 0; i < kPicks; ++i) {
                const qsizetype s = qsizetype(random.bounded(quint32(geometry.segmentCount())));
                const QVector3D p = camera.project((geometry.vertex(s) + geometry.vertex(s + 1)) * 0.5f);
                found += index.nearest(QPointF(p.x(), p.y())).has_value();
            }
        });
        check(found == kPicks, QStringLiteral("%1 of %2 picks on the path found nothing").arg(kPicks - found).arg(kPicks));
        picks.push_back(pickTime / kPicks);
        pictures.push_back(timed([&] { plot::render(geometry, camera, {}, &drawn); }));
    }
    check(geometry.segmentCount() > 0, QStringLiteral("%1 draws nothing").arg(name));

    const double follow = median(follows);
    const double build = median(builds);
    const double bytes = double(geometry.vertices().size() * sizeof(float) + geometry.segments().size() * sizeof(plot::Segment) +
                                geometry.arcs().size() * sizeof(plot::ArcRecord)) /
                         double(geometry.segmentCount());
    say(QStringLiteral("vornexa-bench plot: %1, %2 moves, %3 segments at a quarter pixel of 1200x900 (%4 arcs); %5 runs")
            .arg(name)
            .arg(followed.count)
            .arg(geometry.segmentCount())
            .arg(geometry.arcs().size())
            .arg(runs));
    say(QStringLiteral("Geometry from the moves: median %1 against the interpreter's %2 (%3 ×, target ≤ 1 ×)%4")
            .arg(ms(build), ms(follow), QString::number(build / follow, 'f', 2), verdict(build <= follow)));
    say(QStringLiteral("Arcs drawn again to a quarter pixel: median %1; the lighter path for half a pixel: median %2, "
                       "%3 segments (%4 % of the full path)")
            .arg(ms(median(finer)), ms(median(lighter)))
            .arg(light.segmentCount())
            .arg(QString::number(100.0 * double(light.segmentCount()) / double(geometry.segmentCount()), 'f', 1)));
    say(QStringLiteral("Picking grid for the view: median %1 (target < 100 ms)%2; a pick: median %3 (target < 1 ms)%4")
            .arg(ms(median(grids)), verdict(median(grids) < 0.1), ms(median(picks)), verdict(median(picks) < 0.001)));
    say(QStringLiteral("Picture of 1200x900 on the CPU: median %1, %2 segments drawn%3 (target < 1 s)%4")
            .arg(ms(median(pictures)))
            .arg(drawn.segmentsDrawn)
            .arg(drawn.decimated ? QStringLiteral(", lightened") : QString())
            .arg(verdict(median(pictures) < 1.0)));
    say(QStringLiteral("Memory: %1 bytes a segment (vertices, segments and arcs; target ≤ 40)%2")
            .arg(QString::number(bytes, 'f', 1), verdict(bytes <= 40.0)));
    return 0;
}
