#include "camera.h"
#include "lines.h"
#include "pathgeometry.h"
#include "pathrun.h"
#include "pickindex.h"
#include "program.h"
#include "raster.h"
#include "storeclaim.h"
#include "toolpath.h"

#include "testenv.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

// The moves and findings of a program, one step's at a time.
struct Followed
{
    QList<QList<interp::Move>> moves;
    QList<QList<interp::Finding>> findings;
};

Followed follow(const QByteArray &program)
{
    interp::Interpreter interpreter;
    interp::TextLines lines(program);
    Followed followed;
    bool more = true;
    while (more) {
        QList<interp::Move> moves;
        QList<interp::Finding> findings;
        more = interpreter.step(lines, moves, findings);
        followed.moves.append(moves);
        followed.findings.append(findings);
    }
    return followed;
}

// The geometry of a program made in one piece.
plot::PathGeometry geometryOf(const QByteArray &program, double tolerance = 0.01)
{
    const Followed followed = follow(program);
    plot::PathBuilder builder(tolerance);
    plot::PathPiece piece;
    for (qsizetype i = 0; i < followed.moves.size(); ++i)
        builder.extend(piece, followed.moves[i], followed.findings[i]);
    plot::PathGeometry geometry;
    geometry.append(std::move(piece));
    return geometry;
}

QString text(const QVector3D &v)
{
    return QStringLiteral("(%1 %2 %3)").arg(v.x()).arg(v.y()).arg(v.z());
}

float distanceToSegment(const QVector3D &p, const QVector3D &a, const QVector3D &b)
{
    const QVector3D ab = b - a;
    const float t = ab.isNull() ? 0.0f : std::clamp(QVector3D::dotProduct(p - a, ab) / ab.lengthSquared(), 0.0f, 1.0f);
    return (a + ab * t - p).length();
}

bool near(const QVector3D &a, const QVector3D &b, float within = 1e-4f)
{
    return (a - b).length() <= within;
}

// Whether a pixel shows nothing but the background.
bool background(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y) == plot::RasterStyle().background;
}

bool closeTo(const QColor &a, const QColor &b, int within = 24)
{
    return std::abs(a.red() - b.red()) <= within && std::abs(a.green() - b.green()) <= within &&
           std::abs(a.blue() - b.blue()) <= within;
}

const QByteArray kSquare = "G21 G90 G17\nG0 X0 Y0 Z0\nG1 X10 F100\nY10\nX0\nY0\nG0 Z5\nM30\n";

} // namespace

class TestPlot : public QObject
{
    Q_OBJECT

private slots:
    // A square in G17 and a rapid up: one segment a move, in order, with its move, line and kind; the
    // extents of all, of the cutting moves and of the rapids.
    void square()
    {
        const plot::PathGeometry g = geometryOf(kSquare);
        const QList<QVector3D> expected{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 0}, {0, 0, 5}};
        QCOMPARE(g.vertexCount(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY2(g.vertex(i) == expected[i], qPrintable(text(g.vertex(i))));
        // Move 0, the rapid to where the tool stands, draws nothing.
        const QList<qint64> moves{1, 2, 3, 4, 5};
        const QList<qint64> lines{3, 4, 5, 6, 7};
        for (qsizetype s = 0; s < g.segmentCount(); ++s) {
            QCOMPARE(g.segments()[s].move, moves[s]);
            QCOMPARE(g.segments()[s].line, lines[s]);
            QCOMPARE(g.segments()[s].kind, s < 4 ? plot::SegmentKind::Feed : plot::SegmentKind::Rapid);
        }
        QCOMPARE(g.moveCount(), 6);
        QCOMPARE(g.feedExtents().min, QVector3D(0, 0, 0));
        QCOMPARE(g.feedExtents().max, QVector3D(10, 10, 0));
        QCOMPARE(g.rapidExtents().min, QVector3D(0, 0, 0));
        QCOMPARE(g.rapidExtents().max, QVector3D(0, 0, 5));
        QCOMPARE(g.extents().max, QVector3D(10, 10, 5));
    }

    // Made a step at a time, in pieces that each begin where the one before ended, the path is the
    // one made whole; offsets move what is drawn to where it is cut.
    void piecesMakeTheWhole()
    {
        const QByteArray program = "G0 X1 Y1\nG1 X5 F100\nG2 X5 Y9 J4\nG10 L2 P1 X100\nG54 G1 X0 Y0\nG4 P1\nG0 Z3\n";
        const plot::PathGeometry whole = geometryOf(program);
        const Followed followed = follow(program);
        plot::PathBuilder builder(0.01);
        plot::PathGeometry pieces;
        qint64 first = 0;
        for (const QList<interp::Move> &moves : followed.moves) {
            pieces.append(builder.add(moves, first));
            first += moves.size();
        }
        QCOMPARE(pieces.vertices(), whole.vertices());
        QCOMPARE(pieces.segmentCount(), whole.segmentCount());
        for (qsizetype s = 0; s < whole.segmentCount(); ++s)
            QCOMPARE(pieces.segments()[s].move, whole.segments()[s].move);
        QCOMPARE(pieces.moveCount(), first);
        // G54 moved by X100: the feed to X0 Y0 of the new frame ends at X100, the rapid up over it.
        QCOMPARE(whole.vertex(whole.vertexCount() - 2), QVector3D(100, 0, 0));
        QCOMPARE(whole.vertex(whole.vertexCount() - 1), QVector3D(100, 0, 3));
    }

    // A change put in the place of the moves it made: the path is the one made afresh of the changed
    // program (the moves and lines after it numbered on, the findings marked where they were), and
    // what lies outside the vertices said to have changed is as it was.
    void aChangePutInPlace_data()
    {
        QTest::addColumn<int>("first"); // the first line changed
        QTest::addColumn<int>("removed");
        QTest::addColumn<QByteArrayList>("inserted");
        // Each change ends where the lines it replaces ended: the run after it agrees again.
        QTest::newRow("a rapid for a feed") << 4 << 1 << QByteArrayList{"G0 X5 Y1"};
        QTest::newRow("two lines for one") << 5 << 1 << QByteArrayList{"G1 X7 Y-3", "G1 X5 Y5"};
        QTest::newRow("an arc for a line") << 5 << 1 << QByteArrayList{"G2 X5 Y5 I0 J2"};
        QTest::newRow("two lines for the arc") << 6 << 1 << QByteArrayList{"G1 X2 Y2", "G1 X1 Y5"};
        QTest::newRow("a dwell taken away") << 9 << 1 << QByteArrayList{};
        QTest::newRow("a finding put in") << 4 << 0 << QByteArrayList{"T2 M6"};
        QTest::newRow("a finding taken away") << 8 << 1 << QByteArrayList{};
        QTest::newRow("the first move") << 2 << 1 << QByteArrayList{"G0 X2 Y1 Z0"};
        QTest::newRow("moves put after the last") << 11 << 0 << QByteArrayList{"G0 X9", "G1 Z-1"};
    }
    void aChangePutInPlace()
    {
        QFETCH(int, first);
        QFETCH(int, removed);
        QFETCH(QByteArrayList, inserted);
        const QByteArrayList lines{"G21 G90 G17 F500 S100 M3", "G0 X1 Y1 Z0", "T2 M6", "G1 X5 Y1", "G1 X5 Y5", "G2 X1 Y5 I-2 J0",
                                   "G1 X1 Y1", "T2 M6", "G4 P1", "G0 Z5"};
        QByteArrayList changed = lines;
        changed.remove(first - 1, removed);
        for (qsizetype i = 0; i < inserted.size(); ++i)
            changed.insert(first - 1 + i, inserted[i]);
        const Followed was = follow(lines.join('\n') + '\n');
        const Followed now = follow(changed.join('\n') + '\n');

        // Each step reads a line: steps first - 1 ... made what the changed lines made.
        qint64 before = 0, gone = 0;
        qsizetype markersBefore = 0, markersGone = 0;
        for (int step = 0; step < first - 1 + removed && step < was.moves.size(); ++step) {
            (step < first - 1 ? before : gone) += was.moves[step].size();
            (step < first - 1 ? markersBefore : markersGone) += was.findings[step].size();
        }
        plot::PathBuilder builder(0.01);
        for (int step = first - 2; step >= 0; --step) {
            const auto last = std::find_if(was.moves[step].rbegin(), was.moves[step].rend(),
                                           [](const interp::Move &m) { return m.kind != interp::MoveKind::Dwell; });
            if (last != was.moves[step].rend()) {
                builder.startAfter(*last);
                break;
            }
        }
        plot::PathPiece piece;
        piece.firstMove = before;
        for (int step = first - 1; step < first - 1 + inserted.size(); ++step)
            builder.extend(piece, now.moves[step], now.findings[step]);

        const plot::PathGeometry old = geometryOf(lines.join('\n') + '\n');
        plot::PathGeometry patched = old;
        const qint64 shift = inserted.size() - removed;
        const plot::SegmentRange changedVertices = patched.replaceMoves(gone, std::move(piece), markersBefore, markersGone,
                                                                        [&](qint64 line) { return line >= first + removed ? line + shift : line; });
        const plot::PathGeometry fresh = geometryOf(changed.join('\n') + '\n');
        QCOMPARE(patched.vertices(), fresh.vertices());
        QCOMPARE(patched.segmentCount(), fresh.segmentCount());
        for (qsizetype s = 0; s < fresh.segmentCount(); ++s) {
            const plot::Segment &a = patched.segments()[s], &b = fresh.segments()[s];
            QVERIFY2(a.move == b.move && a.line == b.line && a.tool == b.tool && a.kind == b.kind, qPrintable(QString::number(s)));
        }
        QCOMPARE(patched.arcs().size(), fresh.arcs().size());
        for (std::size_t i = 0; i < fresh.arcs().size(); ++i)
            QCOMPARE(patched.arcs()[i].move, fresh.arcs()[i].move);
        QCOMPARE(patched.markers().size(), fresh.markers().size());
        for (std::size_t i = 0; i < fresh.markers().size(); ++i) {
            QCOMPARE(patched.markers()[i].line, fresh.markers()[i].line);
            QCOMPARE(patched.markers()[i].at, fresh.markers()[i].at);
        }
        QCOMPARE(patched.moveCount(), fresh.moveCount());
        QCOMPARE(patched.extents().min, fresh.extents().min);
        QCOMPARE(patched.extents().max, fresh.extents().max);
        const qsizetype end = changedVertices.first + changedVertices.count;
        QVERIFY(end <= patched.vertexCount());
        for (qsizetype v = 0; v < patched.vertexCount(); ++v) {
            if (v < changedVertices.first || (v >= end && patched.vertexCount() == old.vertexCount()))
                QVERIFY2(patched.vertex(v) == old.vertex(v), qPrintable(QString::number(v)));
        }
        if (patched.vertexCount() != old.vertexCount())
            QCOMPARE(end, patched.vertexCount());
    }

    // From a toolpath file, block by block as a builder on a thread hands the pieces over, the path
    // is the one the moves make, and its moves of a line range highlight the segments those lines
    // made; a cancel stops it between two blocks.
    void fromTheToolpathFile()
    {
        QByteArray program = "G21 G90 G17 F500\n";
        for (int k = 0; k < 40; ++k)
            program += k % 5 == 0 ? "G2 X" + QByteArray::number(k) + " Y0 I2\n"
                               : "G1 X" + QByteArray::number(k) + " Y" + QByteArray::number(k % 3) + "\n";
        program += "G18 G3 X0 Z-2 I-20 K0\nG0 Z5\nM30\n";
        const plot::PathGeometry direct = geometryOf(program);

        tessarc::Program stored;
        const tessarc::StoreClaim claim = stored.useStores(testEnvironment().root(), QStringLiteral("plot"));
        stored.recordLength = 128;
        stored.load(writeTestFile(QStringLiteral("plot.nc"), program), {});
        interp::PathRun run(stored);
        QSignalSpy finished(&run, &interp::PathRun::finished);
        run.start(true);
        QVERIFY(finished.wait(60000));
        QVERIFY(run.toolpath().isComplete());

        plot::PathGeometry built;
        qint64 lastDone = 0;
        QVERIFY(plot::buildFromToolpath(run.toolpath(), 0.01, nullptr, [&](plot::PathPiece &&piece, qint64 done, qint64 total) {
            QCOMPARE(total, run.toolpath().moveCount());
            QVERIFY(done > lastDone);
            lastDone = done;
            built.append(std::move(piece));
        }, 7));
        QCOMPARE(lastDone, run.toolpath().moveCount());
        QCOMPARE(built.segmentCount(), direct.segmentCount());
        for (qsizetype v = 0; v < direct.vertexCount(); ++v)
            QVERIFY2(near(built.vertex(v), direct.vertex(v), 1e-3f), qPrintable(text(built.vertex(v))));
        QCOMPARE(built.segmentsOfMoves(run.toolpath().movesOfLines(5, 12)), direct.segmentsOfLines(5, 12));

        std::atomic<bool> cancel{false};
        int pieces = 0;
        QVERIFY(!plot::buildFromToolpath(run.toolpath(), 0.01, &cancel, [&](plot::PathPiece &&, qint64, qint64) {
            ++pieces;
            cancel = true;
        }, 7));
        QCOMPARE(pieces, 1);
    }

    // An arc in each plane, a helix, a spiral, full circles and extra turns: every vertex on the
    // circle, every chord within the tolerance, the turn as the direction and P say, the end exactly
    // the end point; drawn again finer, within the finer tolerance.
    void arcs_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<int>("plane");
        QTest::addColumn<QVector3D>("centre");
        QTest::addColumn<double>("sweep"); // radians, counter-clockwise positive
        QTest::addColumn<QVector3D>("end");
        QTest::addColumn<double>("radius");
        QTest::addRow("G17 G3 a quarter") << QByteArray("G0 X10 Y0\nG3 X0 Y10 I-10 J0 F100\n") << 17
                                           << QVector3D(0, 0, 0) << kPi / 2 << QVector3D(0, 10, 0) << 10.0;
        QTest::addRow("G17 G2 three quarters") << QByteArray("G0 X10 Y0\nG2 X0 Y10 I-10 J0 F100\n") << 17
                                                << QVector3D(0, 0, 0) << -3 * kPi / 2 << QVector3D(0, 10, 0) << 10.0;
        QTest::addRow("G17 R, a large radius") << QByteArray("G0 X0 Y0\nG3 X200 Y0 R100 F100\n") << 17
                                                << QVector3D(100, 0, 0) << kPi << QVector3D(200, 0, 0) << 100.0;
        QTest::addRow("G18 G3 from Z to X") << QByteArray("G18\nG0 X0 Z10\nG3 X10 Z0 I0 K-10 F100\n") << 18
                                             << QVector3D(0, 0, 0) << kPi / 2 << QVector3D(10, 0, 0) << 10.0;
        QTest::addRow("G18 G2 a half with Y rising") << QByteArray("G18\nG0 X5 Z0\nG2 X-5 Z0 Y4 I-5 F100\n") << 18
                                                      << QVector3D(0, 0, 0) << -kPi << QVector3D(-5, 4, 0) << 5.0;
        QTest::addRow("G19 G3 helix along X") << QByteArray("G19\nG0 X0 Y10 Z0\nG3 Y0 Z10 J-10 K0 X5 F100\n") << 19
                                               << QVector3D(0, 0, 0) << kPi / 2 << QVector3D(5, 0, 10) << 10.0;
        QTest::addRow("G17 full circle") << QByteArray("G0 X10 Y0\nG3 X10 Y0 I-10 F100\n") << 17 << QVector3D(0, 0, 0)
                                          << 2 * kPi << QVector3D(10, 0, 0) << 10.0;
        QTest::addRow("G17 full circle P2, clockwise") << QByteArray("G0 X10 Y0\nG2 X10 Y0 I-10 P2 F100\n") << 17
                                                        << QVector3D(0, 0, 0) << -4 * kPi << QVector3D(10, 0, 0) << 10.0;
        QTest::addRow("G19 a quarter and three more turns, a helix")
            << QByteArray("G19\nG0 X0 Y3 Z0\nG2 Y0 Z-3 J-3 X-8 P4 F100\n") << 19 << QVector3D(0, 0, 0)
            << -(kPi / 2 + 6 * kPi) << QVector3D(-8, 0, -3) << 3.0;
        QTest::addRow("a small arc, bigger than no tolerance") << QByteArray("G0 X0.004 Y0\nG3 X-0.004 Y0 I-0.004 F100\n")
                                                                << 17 << QVector3D(0, 0, 0) << kPi << QVector3D(-0.004f, 0, 0)
                                                                << 0.004;
    }
    void arcs()
    {
        QFETCH(QByteArray, program);
        QFETCH(int, plane);
        QFETCH(QVector3D, centre);
        QFETCH(double, sweep);
        QFETCH(QVector3D, end);
        QFETCH(double, radius);
        const int a = plane == 17 ? 0 : plane == 18 ? 2 : 1;
        const int b = plane == 17 ? 1 : plane == 18 ? 0 : 2;
        const int n = 3 - a - b;
        const plot::PathGeometry coarse = geometryOf(program, 0.01);
        QVERIFY(coarse.arcs().size() == 1);
        for (const double tolerance : {0.01, 0.0005}) {
            const plot::PathGeometry g = tolerance == 0.01 ? coarse : coarse.retessellated(tolerance);
            const plot::SegmentRange arc = g.segmentsOfMove(g.arcs().front().move);
            QCOMPARE(arc.first + arc.count, g.segmentCount());
            const QVector3D start = g.vertex(arc.first);
            double turned = 0.0;
            double worstChord = 0.0;
            for (qsizetype v = arc.first + 1; v <= arc.first + arc.count; ++v) {
                const QVector3D p = g.vertex(v) - centre;
                const QVector3D q = g.vertex(v - 1) - centre;
                QVERIFY2(std::abs(std::hypot(p[a], p[b]) - radius) < 2e-5 + radius * 1e-6, qPrintable(text(g.vertex(v))));
                // Along the normal it rises evenly with the angle turned.
                turned += std::atan2(q[a] * p[b] - q[b] * p[a], q[a] * p[a] + q[b] * p[b]);
                const double expectedRise = (end[n] - start[n]) * turned / sweep;
                QVERIFY2(std::abs(g.vertex(v)[n] - (start[n] + expectedRise)) < 1e-4, qPrintable(text(g.vertex(v))));
                const QVector3D middle = (p + q) * 0.5f;
                worstChord = std::max(worstChord, radius - std::hypot(middle[a], middle[b]));
            }
            QVERIFY2(std::abs(turned - sweep) < 1e-6, qPrintable(QString::number(turned)));
            QVERIFY2(worstChord <= tolerance + 3e-5, qPrintable(QString::number(worstChord)));
            QVERIFY2(worstChord > tolerance / 8 || radius < tolerance, "far more chords than the tolerance asks for");
            QCOMPARE(g.vertex(g.vertexCount() - 1), end);
            QCOMPARE(g.segments().back().kind, plot::SegmentKind::Arc);
        }
    }

    // An arc far from the origin and too short for a float to tell its ends apart stays that short
    // when it is drawn again: never a full circle.
    void aSliverOfArcDrawnAgain()
    {
        const plot::PathGeometry g = geometryOf("G0 X1000 Y1000\nG3 X1000 Y1000.00001 I-10 J0 F100\n");
        QCOMPARE(g.vertex(1), g.vertex(2));
        for (const plot::PathGeometry &drawn : {g, g.retessellated(0.0001)}) {
            QCOMPARE(drawn.segmentCount(), 2);
            QVERIFY(drawn.feedExtents().size().length() < 0.001f);
        }
    }

    // The lighter path merges runs of short cutting segments, never by more than the tolerance, and
    // keeps rapids, other tools' segments and the ends as they are.
    void decimation()
    {
        QByteArray program = "G0 X0 Y0\nG1 F100\n";
        for (int i = 1; i <= 2000; ++i)
            program += "X" + QByteArray::number(i * 0.002, 'f', 4) + " Y" + QByteArray::number(0.03 * std::sin(i * 0.01), 'f', 5) + "\n";
        program += "G0 Z2\nT2 M6\nG1 X4.02\nX4.021\nX4.022\n";
        const plot::PathGeometry full = geometryOf(program);
        const double tolerance = 0.005;
        const plot::PathGeometry light = full.decimated(tolerance);
        QVERIFY(light.isDecimated());
        QVERIFY2(light.segmentCount() < full.segmentCount() / 10, qPrintable(QString::number(light.segmentCount())));
        QVERIFY2(light.segmentCount() > 10, "the wave is taller than the tolerance: it cannot be one segment");
        QCOMPARE(light.vertex(light.vertexCount() - 1), full.vertex(full.vertexCount() - 1));
        int rapids = 0;
        for (const plot::Segment &s : light.segments())
            rapids += s.kind == plot::SegmentKind::Rapid;
        QCOMPARE(rapids, 1);
        // Tool 2's segments are not merged with tool 1's.
        QCOMPARE(light.segments().back().tool, 2);
        QVERIFY(light.segments()[light.segmentCount() - 2].tool == 2);
        // Every vertex of the full path lies within the tolerance of the light one.
        qsizetype at = 0;
        for (qsizetype v = 0; v < full.vertexCount(); ++v) {
            const QVector3D p = full.vertex(v);
            const auto distance = [&](qsizetype s) { return distanceToSegment(p, light.vertex(s), light.vertex(s + 1)); };
            while (at + 1 < light.segmentCount() && distance(at) > tolerance + 1e-5)
                ++at;
            QVERIFY2(distance(at) <= tolerance + 1e-5, qPrintable(text(p)));
        }
        QVERIFY(!plot::PickIndex().build(light, plot::Camera()));
    }

    // Each view maps a known point to its pixel, and the matrices for GL agree with project().
    void views()
    {
        const QVector3D point(10, 5, 2);
        const QVector3D isoUp = QVector3D::crossProduct(QVector3D(1, -1, 1).normalized(), QVector3D(1, 1, 0).normalized());
        const std::pair<plot::View, QPointF> pixels[] = { // of the point, with the target at the origin, 2 pixels a mm
            {plot::View::Top, {120, 40}},   // X right, Y up
            {plot::View::Front, {120, 46}}, // X right, Z up
            {plot::View::Side, {110, 46}},  // Y right, Z up
            {plot::View::Lathe, {104, 30}}, // Z right, X (the radius) up
            {plot::View::Iso, {100 + (10 + 5) * std::sqrt(0.5) * 2, 50 - 2 * QVector3D::dotProduct(point, isoUp)}}};
        for (const auto &[view, pixel] : pixels) {
            plot::Camera camera;
            camera.setViewport(QSize(200, 100));
            camera.setView(view);
            camera.setTarget({0, 0, 0});
            camera.setPixelsPerMm(2.0);
            const QVector3D drawn = camera.project(point);
            QVERIFY2(std::abs(drawn.x() - pixel.x()) < 1e-3 && std::abs(drawn.y() - pixel.y()) < 1e-3,
                     qPrintable(plot::viewName(view) + QLatin1Char(' ') + text(drawn)));
            QVERIFY(near(camera.unproject(QPointF(drawn.x(), drawn.y()), drawn.z()), point));
            const QVector3D clip = (camera.projection() * camera.view()).map(point);
            QVERIFY(std::abs((clip.x() + 1) * 100 - drawn.x()) < 1e-3);
            QVERIFY(std::abs((1 - clip.y()) * 50 - drawn.y()) < 1e-3);
            QVERIFY(std::abs(clip.z()) < 1.0);
        }
    }

    // Fit shows the whole box with the margin, as large as it fits; zoom keeps the point under the
    // mouse, orbit the pivot, and a pan moves everything with the mouse.
    void cameraMoves()
    {
        plot::Box box;
        box.add({-20, 5, -3});
        box.add({60, 25, 10});
        for (const plot::View view : {plot::View::Top, plot::View::Front, plot::View::Side, plot::View::Iso, plot::View::Lathe}) {
            plot::Camera camera;
            camera.setViewport(QSize(640, 480));
            camera.setView(view);
            camera.fit(box, 0.05);
            double left = 1e9, right = -1e9, top = 1e9, bottom = -1e9;
            for (int i = 0; i < 8; ++i) {
                const QVector3D p = camera.project(box.corner(i));
                left = std::min(left, double(p.x())), right = std::max(right, double(p.x()));
                top = std::min(top, double(p.y())), bottom = std::max(bottom, double(p.y()));
                QVERIFY(std::abs(camera.projection().map(camera.view().map(box.corner(i))).z()) <= 1.0);
            }
            QVERIFY2(left >= 31.9 && right <= 608.1 && top >= 23.9 && bottom <= 456.1, plot::viewName(view));
            QVERIFY2(std::abs(left - 32) < 0.1 || std::abs(top - 24) < 0.1, plot::viewName(view));
        }

        plot::Camera camera;
        camera.setViewport(QSize(640, 480));
        camera.fit(box);
        const QPointF mouse(500, 120);
        const QVector3D under = camera.unproject(mouse);
        camera.zoomAt(mouse, 1.7);
        QVERIFY(std::abs(camera.project(under).x() - 500) < 1e-2 && std::abs(camera.project(under).y() - 120) < 1e-2);
        camera.zoomAt(mouse, 1 / 3.0);
        QVERIFY(std::abs(camera.project(under).x() - 500) < 1e-2 && std::abs(camera.project(under).y() - 120) < 1e-2);

        const QVector3D pivot(60, 25, 10);
        const QVector3D before = camera.project(pivot);
        const QVector3D other = camera.project({0, 0, 0});
        camera.orbit(40, -25, pivot);
        QVERIFY(near(camera.project(pivot), QVector3D(before.x(), before.y(), camera.project(pivot).z()), 1e-2f));
        QVERIFY(!near(camera.project({0, 0, 0}), other, 1.0f));

        const QVector3D moved = camera.project({1, 2, 3});
        camera.pan(15, -7);
        QVERIFY(near(camera.project({1, 2, 3}), moved + QVector3D(15, -7, 0), 1e-2f));
    }

    // A square drawn from the top covers its edges' pixels, in its tool's colour, and nothing
    // inside or outside; the highlighted side in the highlight colour, a finding's place ringed.
    void raster()
    {
        plot::PathGeometry g = geometryOf("G0 X0 Y0\nG1 X10 F100\nY10\nG123\nX0\nY0\n");
        QCOMPARE(g.markers().size(), std::size_t(1));
        QCOMPARE(g.markers().front().line, 4);
        plot::Camera camera;
        camera.setViewport(QSize(100, 100));
        camera.setView(plot::View::Top);
        camera.setPixelsPerMm(5);
        camera.setTarget({5.1f, 5.1f, 0}); // x = 0 and y = 0 fall on pixel centres: 24.5 ... 74.5
        plot::RasterStyle style;
        style.drawBox = false;
        style.highlighted = g.segmentsOfLines(5, 5); // the side X10 Y10 to X0 Y10
        const QImage image = plot::render(g, camera, style);
        QCOMPARE(image.size(), QSize(100, 100));
        const QColor tool = plot::toolColour(0);
        for (const int along : {40, 50, 60}) {
            QVERIFY2(closeTo(image.pixelColor(24, 100 - along), tool), qPrintable(image.pixelColor(24, 100 - along).name()));
            QVERIFY(closeTo(image.pixelColor(along, 75), tool)); // y = 0
            QVERIFY(closeTo(image.pixelColor(74, along), tool)); // x = 10
            QVERIFY2(closeTo(image.pixelColor(along, 25), style.highlight, 8), qPrintable(image.pixelColor(along, 25).name()));
            QVERIFY(background(image, along, 50));
            QVERIFY(background(image, along, 90));
            QVERIFY(background(image, 5, along));
        }
        // The ring of radius 5 about the finding's place, (10, 10) at pixel (74.5, 25.5).
        QVERIFY2(closeTo(image.pixelColor(79, 25), style.marker, 60), qPrintable(image.pixelColor(79, 25).name()));
        QVERIFY(background(image, 90, 10));
    }

    // The window's own line drawing: a line's pixels up to its end, which is left out; a line from
    // outside clipped to the image; segments shorter than a pixel; a thick line two pixels wide;
    // and bands drawn on threads of their own give the picture drawn in one.
    void linesOnTheProcessor()
    {
        const plot::PathGeometry g = geometryOf("G0 X2 Y5\nG1 X8 F100\nG0 Y1\nG1 X-20 Y1\nX5 Y9\n");
        plot::Camera camera;
        camera.setViewport(QSize(10, 10));
        camera.setView(plot::View::Top);
        camera.setTarget(QVector3D(5, 5, 0));
        camera.setPixelsPerMm(1.0);
        const plot::ProjectionMap map(camera);
        QImage image(10, 10, QImage::Format_RGBA8888);
        image.fill(Qt::black);
        const QRgb cut = plot::segmentColour(g.segments()[1]);
        QVERIFY(plot::drawRuns(image, g, map, {{0, g.segmentCount(), 0, 1}}, 0, 10));
        const QVector3D from = camera.project(QVector3D(2, 5, 0)), to = camera.project(QVector3D(8, 5, 0));
        const int row = int(from.y());
        for (int x = int(from.x()); x < int(to.x()); ++x)
            QCOMPARE(image.pixel(x, row), cut);
        QVERIFY(image.pixel(int(to.x()), row) != cut);        // its end is the next segment's
        QCOMPARE(image.pixel(3, int(camera.project(QVector3D(0, 1, 0)).y())), cut); // X-20 Y1, clipped
        // A run of segments each shorter than a pixel is drawn whole.
        QByteArray tiny = "G0 X0.1 Y3\n";
        for (int i = 1; i <= 30; ++i)
            tiny += "G1 X" + QByteArray::number(0.1 + 0.3 * i) + " F100\n";
        QImage small(10, 10, QImage::Format_RGBA8888);
        small.fill(Qt::black);
        plot::drawRuns(small, geometryOf(tiny), map, {{0, 31, qRgb(255, 255, 255), 1}}, 0, 10);
        const int tinyRow = int(camera.project(QVector3D(0, 3, 0)).y());
        for (int x = int(camera.project(QVector3D(0.1f, 3, 0)).x()); x < int(camera.project(QVector3D(9.1f, 3, 0)).x()); ++x)
            QCOMPARE(small.pixel(x, tinyRow), qRgb(255, 255, 255));
        QImage thick(10, 10, QImage::Format_RGBA8888);
        thick.fill(Qt::black);
        plot::drawRuns(thick, g, map, {{1, 1, qRgb(255, 255, 255), 2}}, 0, 10);
        QCOMPARE(thick.pixel(int(from.x()) + 1, row + 1), qRgb(255, 255, 255));

        // Many lines, drawn in bands of a few rows: the same picture to the pixel.
        QByteArray walk = "G0 X0 Y0\n";
        for (quint32 i = 1, h = 7; i <= 3000; ++i) {
            h = h * 1664525u + 1013904223u;
            walk += (i % 5 ? "G1 X" : "G0 X") + QByteArray::number((h >> 8) % 10000 / 100.0) + " Y" +
                    QByteArray::number((h >> 16) % 8000 / 100.0) + (i % 700 ? " F100\n" : " T3 M6\n");
        }
        const plot::PathGeometry many = geometryOf(walk);
        camera.setViewport(QSize(301, 247));
        camera.setView(plot::View::Iso);
        camera.fit(many.extents());
        const std::vector<plot::SegmentRun> runs{{0, many.segmentCount(), 0, 1}, {100, 900, qRgb(255, 255, 255), 2}};
        QImage one(camera.viewport(), QImage::Format_RGBA8888), bands(camera.viewport(), QImage::Format_RGBA8888);
        one.fill(Qt::black);
        bands.fill(Qt::black);
        QVERIFY(plot::drawRuns(one, many, plot::ProjectionMap(camera), runs, 0, one.height()));
        QVERIFY(plot::drawRunsInBands(bands, many, plot::ProjectionMap(camera), runs, 7));
        QVERIFY(one == bands);
        std::atomic<bool> cancel{true};
        QVERIFY(!plot::drawRunsInBands(bands, many, plot::ProjectionMap(camera), runs, 2, &cancel));
    }

    // A point on a move picks that move and its line; of two moves one over the other, the one
    // nearer the viewer; a point far from every move picks none; the moves of lines to highlight.
    // A pass over the path without the index picks the same.
    void picking()
    {
        const plot::PathGeometry g = geometryOf("G0 X0 Y0 Z5\nG1 X10 F100\nG2 X20 Y0 I5\nG1 Z0\nX0\nM30\n");
        plot::Camera camera;
        camera.setViewport(QSize(400, 300));
        camera.setView(plot::View::Top);
        camera.fit(g.extents());
        plot::PickIndex index;
        QVERIFY(index.build(g, camera));
        QVERIFY(index.madeFor(camera));
        const auto at = [&](const QVector3D &p, float dy = 0) {
            const QVector3D s = camera.project(p);
            return QPointF(s.x(), s.y() + dy);
        };
        int apart = 0; // picks where the pass over the path finds another segment than the index
        const auto nearest = [&](const QPointF &pixel) {
            const std::optional<plot::Pick> indexed = index.nearest(pixel);
            const std::optional<plot::Pick> passed = plot::PickIndex::nearestOf(g, camera, pixel);
            apart += indexed.has_value() != passed.has_value() || (indexed && indexed->segment != passed->segment);
            return indexed;
        };
        // On the arc's top, (15, 5): move 2 of line 3.
        std::optional<plot::Pick> pick = nearest(at({15, 5, 5}, 2.0f));
        QVERIFY(pick);
        QCOMPARE(pick->move, 2);
        QCOMPARE(pick->line, 3);
        QVERIFY(pick->distance < 2.5);
        QVERIFY(near(pick->point, QVector3D(15, 5, 5), 0.2f));
        // X0 ... X10 at Z5 (line 2) lies over X20 ... X0 at Z0 (line 5): from the top, line 2 is nearer.
        pick = nearest(at({4, 0, 0}, -1.0f));
        QVERIFY(pick);
        QCOMPARE(pick->line, 2);
        // From below (the front turned over) it is line 5.
        camera.orbit(0, 180 / 0.4, QVector3D(4, 0, 0));
        index.build(g, camera);
        pick = nearest(at({4, 0, 0}));
        QVERIFY(pick);
        QCOMPARE(pick->line, 5);
        QVERIFY(!nearest(at({10, 30, 0})));
        QCOMPARE(apart, 0);

        // A path of many long segments, whose cells hold segments thousands apart: every pick
        // the index makes is as near as the one the pass makes.
        QByteArray zigzag = "G0 X0 Y0\n";
        for (quint32 i = 1, h = 1; i <= 20000; ++i) {
            h = h * 1664525u + 1013904223u;
            zigzag += "G1 X" + QByteArray::number((h >> 8) % 10000 / 100.0) + " Y" + QByteArray::number((h >> 16) % 8000 / 100.0) +
                      " F100\n";
        }
        const plot::PathGeometry many = geometryOf(zigzag);
        camera.setView(plot::View::Top);
        camera.fit(many.extents());
        QVERIFY(index.build(many, camera));
        int picked = 0;
        for (int k = 0; k < 200; ++k) {
            const QPointF pixel(2 + (k * 37) % 396, 2 + (k * 53) % 296);
            const std::optional<plot::Pick> indexed = index.nearest(pixel);
            const std::optional<plot::Pick> passed = plot::PickIndex::nearestOf(many, camera, pixel);
            // Of segments as near (within half a pixel) each may take another.
            QCOMPARE(indexed.has_value(), passed.has_value());
            if (indexed) {
                QVERIFY2(std::abs(indexed->distance - passed->distance) <= 0.5,
                         qPrintable(QStringLiteral("%1 %2").arg(indexed->distance).arg(passed->distance)));
                picked += indexed->segment > 128;
            }
        }
        QVERIFY2(picked > 100, qPrintable(QString::number(picked)));

        QCOMPARE(g.segmentsOfLines(3, 3), g.segmentsOfMoves({2}));
        const plot::SegmentRange arc = g.segmentsOfMove(2);
        QVERIFY(arc.count > 10);
        QCOMPARE(g.segmentsOfMoves({3, 1, 2}), (std::vector<plot::SegmentRange>{plot::SegmentRange{1, arc.count + 2}}));
        QCOMPARE(g.segmentsOfMoves({1, 4}), (std::vector<plot::SegmentRange>{{1, 1}, {arc.first + arc.count + 1, 1}}));
        QVERIFY(g.segmentsOfMoves({5, 99}).empty());
    }
};

int main(int argc, char *argv[])
{
    testEnvironment();
    QCoreApplication app(argc, argv);
    TestPlot test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_plot.moc"
