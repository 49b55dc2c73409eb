// The toolpath window's figure of vornexa-bench, run by name (--only view): the generated program
// loaded into a main window's editor, then the toolpath dock opened beside it as Inquire > Toolpath
// opens it, drawn by OpenGL for real. Timed: from the dock being made to its first picture and to
// the whole path shown; frames while the camera orbits, with the full path and with a button held
// (the lighter path); a pick after a camera change and at the same camera; the caret's line
// highlighted; the process's resident memory with the whole path shown; and a one-line edit in the
// middle until the whole path is shown again.
// Targets: the first picture within 1 s, the whole path within 3 s, a frame within 50 ms, a pick
// and a caret highlight within 50 ms, under 300 MB resident, an edit shown again within 0.3 s.
// The view needs OpenGL: on a platform without it (offscreen, minimal) the figure says so and is
// skipped.

#include "benchtools.h"

#include "mainform.h"
#include "pathgeometry.h"
#include "program.h"
#include "tessarc.h"
#include "toolpathdock.h"
#include "toolpathview.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

QStringList viewFigures();
int runViewFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));

using namespace benchtools;

namespace {

constexpr int kFrames = 100;
constexpr int kPicks = 21;
constexpr int kCaretLines = 50;
constexpr int kCaretFrames = 10; // of those, drawn too
constexpr int kEdits = 5;
constexpr double kWaitSeconds = 300.0;
const QRgb kBackground = qRgb(24, 26, 32);

// The resident memory of the process now (VmRSS), in bytes.
qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &row : status.readAll().split('\n')) {
            if (row.startsWith("VmRSS:"))
                return row.mid(6).trimmed().split(' ').front().toLongLong() * 1024;
        }
    }
    return -1;
}

QString ms(double s)
{
    return QString::number(s * 1000.0, 'f', s < 0.01 ? 3 : 1) + QStringLiteral(" ms");
}

QString mb(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

QString verdict(bool met)
{
    return met ? QString() : QStringLiteral(" MISSED");
}

double worst(const std::vector<double> &v)
{
    return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
}

// Runs the event loop until `done`, failing the figure after `seconds`.
void waitUntil(const std::function<bool()> &done, const QString &what, double seconds = kWaitSeconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        check(clock.elapsed() < seconds * 1000.0, QStringLiteral("%1 did not come within %2 s").arg(what).arg(seconds));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
}

// A mouse event of the left button at `at`, sent straight to the view.
void sendMouse(QWidget *view, QEvent::Type type, const QPoint &at)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), QPointF(view->mapToGlobal(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
}

// Pixels of a frame that are not the background: a frame of the path has many.
qint64 drawnPixels(const QImage &frame)
{
    const QImage image = frame.convertToFormat(QImage::Format_RGB32);
    qint64 drawn = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            drawn += (row[x] & 0xffffff) != (kBackground & 0xffffff);
    }
    return drawn;
}

// When the dock showed its path: the signals since `clock` started, and the frames put on the
// screen after them.
struct Shown
{
    double followed = -1.0;   // the interpreter's run ended (the path is drawn after it)
    double firstPiece = -1.0; // pathShown, first emission
    double firstFrame = -1.0; // the first frame swapped after it
    double whole = -1.0;      // pathShown(true), first emission
    double wholeFrame = -1.0; // the first frame swapped after it with every segment in its picture
};

void follow(plot::ToolpathDock &dock, const QElapsedTimer &clock, Shown &shown)
{
    const auto now = [&clock] { return double(clock.nsecsElapsed()) / 1e9; };
    QObject::connect(&dock, &plot::ToolpathDock::pathShown, &dock, [&shown, now](bool whole) {
        if (shown.firstPiece < 0.0)
            shown.firstPiece = now();
        if (whole && shown.whole < 0.0)
            shown.whole = now();
    });
    QObject::connect(&dock.run(), &interp::PathRun::finished, &dock, [&shown, now](bool complete, const QString &) {
        if (complete && shown.followed < 0.0)
            shown.followed = now();
    });
    plot::ToolpathView *view = dock.view();
    QObject::connect(view, &QOpenGLWidget::frameSwapped, &dock, [&shown, now, view] {
        if (shown.firstPiece >= 0.0 && shown.firstFrame < 0.0)
            shown.firstFrame = now();
        if (shown.whole >= 0.0 && shown.wholeFrame < 0.0 && view->isPictureWhole())
            shown.wholeFrame = now();
    });
}

// The middle of a segment picked at random, in pixels of the camera in force.
QPointF onThePath(const plot::PathGeometry &geometry, const plot::Camera &camera, QRandomGenerator &random)
{
    const qsizetype s = qsizetype(random.bounded(quint32(geometry.segmentCount())));
    const QVector3D p = camera.project((geometry.vertex(s) + geometry.vertex(s + 1)) * 0.5f);
    return QPointF(p.x(), p.y());
}

} // namespace

QStringList viewFigures()
{
    return {QStringLiteral("view")};
}

int runViewFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64))
{
    // The view draws with OpenGL; without it there is nothing to time.
    const QString platform = QGuiApplication::platformName();
    const QStringList withGl{QStringLiteral("xcb"), QStringLiteral("wayland"), QStringLiteral("wayland-egl"),
                             QStringLiteral("eglfs")};
    bool glReady = withGl.contains(platform);
    if (glReady) {
        QOpenGLContext context;
        QOffscreenSurface surface;
        surface.create();
        glReady = context.create() && context.makeCurrent(&surface);
        if (glReady)
            context.doneCurrent();
    }
    if (!glReady) {
        say(QStringLiteral("vornexa-bench %1: SKIPPED: the platform \"%2\" gives the toolpath view no OpenGL; run it under a "
                           "display, e.g. QT_QPA_PLATFORM=xcb xvfb-run -a -s \"-screen 0 1280x1024x24\" vornexa-bench --only view")
                .arg(figure, platform));
        return 0;
    }

    const QString base = dir.isEmpty() ? QStringLiteral("/tmp") : dir;
    QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
    check(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));
    const QDir folder(scratch.path());
    const QString programFile = folder.filePath(QStringLiteral("big.nc"));
    writeProgram(programFile, lines, programLine);

    useScratchFolders(folder);
    FailingPrompts prompts;
    mainform main(prompts);
    TESSARC &editor = loadInMainWindow(main, prompts, folder, QStringLiteral("view"), programFile, lines);
    // Room for the dock as the application gives it: two fifths of the main window's width.
    main.resize(1280, 960);
    QCoreApplication::processEvents();
    plot::registerWindows(main);

    // Opening: from the dock being made until its first picture, and until the whole path is shown.
    // Each run makes the dock anew (the one before deleted, untimed); the last stays open.
    const qint64 residentBefore = residentBytes();
    qint64 residentShown = -1;
    std::vector<double> followings, firstPieces, firstFrames, wholes, wholeFrames;
    plot::ToolpathDock *dock = nullptr;
    for (int run = 0; run < runs; ++run) {
        delete dock;
        dock = nullptr;
        QCoreApplication::processEvents();
        Shown shown;
        QElapsedTimer clock;
        clock.start();
        dock = qobject_cast<plot::ToolpathDock *>(main.showWindow(QStringLiteral("toolpath")));
        check(dock != nullptr, QStringLiteral("Toolpath opened no dock"));
        follow(*dock, clock, shown);
        waitUntil([&] { return shown.wholeFrame >= 0.0; }, QStringLiteral("the whole path"));
        check(dock->isCurrent(), QStringLiteral("the whole path was shown but is not current: %1").arg(dock->status()));
        prompts.expectNone(QStringLiteral("opening the toolpath"));
        followings.push_back(shown.followed);
        firstPieces.push_back(shown.firstPiece);
        firstFrames.push_back(shown.firstFrame);
        wholes.push_back(shown.whole);
        wholeFrames.push_back(shown.wholeFrame);
        if (run == 0)
            residentShown = residentBytes();
    }
    plot::ToolpathView *view = dock->view();
    check(view->context() && view->context()->isValid(), QStringLiteral("the view has no OpenGL context"));
    const plot::PathGeometry &geometry = *view->geometry();
    check(geometry.segmentCount() > 0, QStringLiteral("the view shows no segment"));
    view->makeCurrent();
    const QString renderer = QString::fromLatin1(reinterpret_cast<const char *>(view->context()->functions()->glGetString(GL_RENDERER)));
    view->doneCurrent();

    say(QStringLiteral("vornexa-bench %1: program of %2 lines (%3 bytes), %4 segments (%5 arcs); view %6 x %7 on \"%8\", "
                       "OpenGL %9; %10 openings; scratch folder %11")
            .arg(figure)
            .arg(lines)
            .arg(QFileInfo(programFile).size())
            .arg(geometry.segmentCount())
            .arg(geometry.arcs().size())
            .arg(view->width())
            .arg(view->height())
            .arg(platform)
            .arg(renderer)
            .arg(runs)
            .arg(folder.path()));
    say(QStringLiteral("Opening: first picture median %1 (signal %2; worst %3; target < 1 s)%4; whole path median %5 "
                       "(signal %6; worst %7; target < 3 s)%8")
            .arg(ms(median(firstFrames)), ms(median(firstPieces)), ms(worst(firstFrames)))
            .arg(verdict(median(firstFrames) < 1.0))
            .arg(ms(median(wholeFrames)), ms(median(wholes)), ms(worst(wholeFrames)))
            .arg(verdict(median(wholeFrames) < 3.0)));
    say(QStringLiteral("  of which the interpreter's run over the whole program, before anything is drawn: median %1")
            .arg(ms(median(followings))));
    say(QStringLiteral("Memory with the whole path shown (first opening): %1 resident, %2 more than before the dock was "
                       "made (target < 300 MB for the process)%3")
            .arg(mb(residentShown), mb(residentShown - residentBefore), verdict(residentShown < 300'000'000)));

    // Frames while the camera orbits, each rendered and read back (grabFramebuffer).
    const QVector3D pivot = geometry.extents().centre();
    const auto orbitFrames = [&](std::vector<double> &times, qint64 &pixels) {
        view->grabFramebuffer(); // untimed: whatever was waiting is drawn first
        QImage image;
        for (int i = 0; i < kFrames; ++i) {
            view->camera().orbit(4.0, i % 2 ? 1.0 : -1.0, pivot);
            QElapsedTimer clock;
            clock.start();
            image = view->grabFramebuffer();
            times.push_back(double(clock.nsecsElapsed()) / 1e9);
            if (i == kFrames / 2)
                pixels = drawnPixels(image);
        }
        check(!image.isNull(), QStringLiteral("a frame could not be read back"));
    };
    std::vector<double> fullFrames, movingFrames;
    qint64 fullPixels = 0, movingPixels = 0;
    orbitFrames(fullFrames, fullPixels);
    check(fullPixels > 1000, QStringLiteral("a frame of the full path drew %1 pixels").arg(fullPixels));
    // Once the camera rests, the picture is drawn whole again a frame's slice at a time.
    QElapsedTimer restClock;
    restClock.start();
    view->update();
    waitUntil([&] { return view->isPictureWhole(); }, QStringLiteral("the whole picture after orbiting"));
    const double rest = double(restClock.nsecsElapsed()) / 1e9;

    // The same with the left button held, as a drag orbits (the lighter path is made on a thread
    // once the path is whole).
    const QPoint centre(view->width() / 2, view->height() / 2);
    QElapsedTimer pressClock;
    pressClock.start();
    sendMouse(view, QEvent::MouseButtonPress, centre);
    const double press = double(pressClock.nsecsElapsed()) / 1e9;
    const qsizetype light = view->lightSegments();
    orbitFrames(movingFrames, movingPixels);
    check(movingPixels > 1000, QStringLiteral("a frame with the button held drew %1 pixels").arg(movingPixels));
    // Dragged before it is let go, so that the release is no click.
    sendMouse(view, QEvent::MouseMove, centre + QPoint(12, 0));
    sendMouse(view, QEvent::MouseButtonRelease, centre + QPoint(12, 0));
    QCoreApplication::processEvents();

    say(QStringLiteral("Frame while orbiting, camera turned between frames: median %1, worst %2 of %3 (target < 50 ms)%4; "
                       "the whole picture again once it rests: %5")
            .arg(ms(median(fullFrames)), ms(worst(fullFrames)))
            .arg(kFrames)
            .arg(verdict(median(fullFrames) < 0.05))
            .arg(ms(rest)));
    say(QStringLiteral("Frame while orbiting, button held: median %1, worst %2 of %3 (target < 50 ms)%4; %5; the press "
                       "itself %6")
            .arg(ms(median(movingFrames)), ms(worst(movingFrames)))
            .arg(kFrames)
            .arg(verdict(median(movingFrames) < 0.05))
            .arg(light ? QStringLiteral("the lighter path of %1 segments (%2 % of the full path)")
                             .arg(light)
                             .arg(100.0 * double(light) / double(geometry.segmentCount()), 0, 'f', 1)
                       : QStringLiteral("no lighter path (the full path is small enough), so the full path is drawn"))
            .arg(ms(press)));

    // Picks at the middle of random segments: just after the camera turned (the picking grid made
    // again), then at the same camera.
    QRandomGenerator random(11);
    std::vector<double> picksAfterTurn, picksSameCamera;
    for (int i = 0; i < kPicks; ++i) {
        view->camera().orbit(2.0, 0.0, pivot);
        for (std::vector<double> *times : {&picksAfterTurn, &picksSameCamera}) {
            const QPointF at = onThePath(geometry, view->camera(), random);
            QElapsedTimer clock;
            clock.start();
            const std::optional<plot::Pick> pick = view->pickAt(at);
            times->push_back(double(clock.nsecsElapsed()) / 1e9);
            check(pick.has_value(), QStringLiteral("a pick on the path at %1,%2 found nothing").arg(at.x()).arg(at.y()));
        }
    }
    say(QStringLiteral("Pick just after a camera change: median %1, worst %2; at the same camera: median %3, worst %4 "
                       "(target < 50 ms)%5")
            .arg(ms(median(picksAfterTurn)), ms(worst(picksAfterTurn)), ms(median(picksSameCamera)), ms(worst(picksSameCamera)))
            .arg(verdict(median(picksAfterTurn) < 0.05 && median(picksSameCamera) < 0.05)));

    // The caret put on random lines: until the dock has set the line's highlight, and until a frame
    // with it is drawn.
    std::vector<double> carets, caretFrames;
    for (int i = 0; i < kCaretLines; ++i) {
        // A line that moves the tool (some arcs by radius cannot be made and move nothing).
        qint64 line = 0;
        std::vector<plot::SegmentRange> expected;
        while (expected.empty()) {
            line = 1 + qint64(random.bounded(quint32(lines)));
            expected = geometry.segmentsOfLines(line, line);
        }
        QElapsedTimer clock;
        clock.start();
        editor.showLineWithCaret(line);
        waitUntil([&] { return view->caretHighlight() == expected; }, QStringLiteral("the highlight of line %1").arg(line), 10.0);
        carets.push_back(double(clock.nsecsElapsed()) / 1e9);
        if (i < kCaretFrames) {
            view->grabFramebuffer();
            caretFrames.push_back(double(clock.nsecsElapsed()) / 1e9);
        }
        check(editor.caretLine() == line, QStringLiteral("the caret is on line %1, not %2").arg(editor.caretLine()).arg(line));
    }
    say(QStringLiteral("Caret's line highlighted: median %1, worst %2 (target < 50 ms)%3; with a frame drawn (the first %6): median %4, "
                       "worst %5")
            .arg(ms(median(carets)), ms(worst(carets)))
            .arg(verdict(median(carets) < 0.05))
            .arg(ms(median(caretFrames)), ms(worst(caretFrames)))
            .arg(kCaretFrames));
    const qint64 residentNow = residentBytes();
    say(QStringLiteral("Memory after the frames, picks and highlights: %1 resident, %2 more than before the dock was made "
                       "(target < 300 MB)%3")
            .arg(mb(residentNow), mb(residentNow - residentBefore), verdict(residentNow < 300'000'000)));

    // A one-line edit in the middle until the whole path is shown again; changed back after, untimed.
    tessarc::Program &program = editor.program();
    std::vector<double> editFirsts, editWholes;
    for (int i = 0; i < kEdits; ++i) {
        const qint64 line = lines / 2 + i * std::max<qint64>(1, lines / 1000);
        const QByteArray before = programLine(line);
        const QByteArray after = "N" + QByteArray::number(line * 10) + " G01 X12.5 Y-7.25 Z-1 F900";
        for (const QByteArray &put : {after, before}) {
            double first = -1.0, whole = -1.0;
            QElapsedTimer clock;
            const auto connection = QObject::connect(dock, &plot::ToolpathDock::pathShown, dock, [&](bool complete) {
                const double now = double(clock.nsecsElapsed()) / 1e9;
                if (first < 0.0)
                    first = now;
                if (complete && whole < 0.0)
                    whole = now;
            });
            clock.start();
            program.replaceLines(tessarc::LineNumber(line), 1, {put});
            waitUntil([&] { return whole >= 0.0; }, QStringLiteral("the path after an edit of line %1").arg(line));
            QObject::disconnect(connection);
            check(dock->isCurrent(), QStringLiteral("the path after an edit is not current: %1").arg(dock->status()));
            prompts.expectNone(QStringLiteral("an edit"));
            if (put != after)
                continue;
            editFirsts.push_back(first);
            editWholes.push_back(whole);
            const plot::PathGeometry &now = *view->geometry();
            const std::vector<plot::SegmentRange> made = now.segmentsOfLines(line, line);
            check(made.size() == 1 && made.front().count == 1, QStringLiteral("the edited line %1 makes %2 ranges").arg(line).arg(made.size()));
            const QVector3D end = now.vertex(made.front().first + 1);
            check(std::abs(end.x() - 12.5f) < 1e-3f && std::abs(end.y() + 7.25f) < 1e-3f && std::abs(end.z() + 1.0f) < 1e-3f,
                  QStringLiteral("the edited line's segment ends at X%1 Y%2 Z%3").arg(end.x()).arg(end.y()).arg(end.z()));
        }
    }
    say(QStringLiteral("One-line edit in the middle until the whole path is shown again: median %1, worst %2 of %3 "
                       "(target < 0.3 s)%4; until its first pathShown: median %5")
            .arg(ms(median(editWholes)), ms(worst(editWholes)))
            .arg(kEdits)
            .arg(verdict(median(editWholes) < 0.3))
            .arg(ms(median(editFirsts))));

    delete dock;
    QCoreApplication::processEvents();
    return 0;
}
