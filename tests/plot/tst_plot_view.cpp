#include "frmn.h"
#include "restartboard.h"
#include "restartprogram.h"
#include "testhost.h"
#include "toolpathdock.h"
#include "toolpathview.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

namespace {

const QColor kBackground(24, 26, 32);
const QColor kCaret(255, 236, 64);
const QColor kRange(255, 255, 255);

// Whether any pixel within two of `at` has `colour` (or, with no colour, is not the background).
bool near(const QImage &image, const QVector3D &at, std::optional<QColor> colour)
{
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            const QPoint p(qRound(at.x()) + dx, qRound(at.y()) + dy);
            if (!image.rect().contains(p))
                continue;
            const QColor c = image.pixelColor(p);
            if (colour ? c.rgb() == colour->rgb() : c.rgb() != kBackground.rgb())
                return true;
        }
    }
    return false;
}

} // namespace

// The toolpath dock on a program of a square, rendered for real by OpenGL and read back.
class TestToolpathView : public QObject
{
    Q_OBJECT

    TestHost *m_host = nullptr;
    plot::ToolpathDock *m_dock = nullptr;

    QImage frame()
    {
        QCoreApplication::processEvents();
        return m_dock->view()->grabFramebuffer();
    }
    QVector3D pixelOf(float x, float y) { return m_dock->view()->camera().project(QVector3D(x, y, 0)); }

private slots:
    void init()
    {
        m_host = new TestHost;
        m_host->editor().show();
        // Line 1 moves nothing; lines 3 to 6 are the square's sides.
        m_host->open({"G21 G90 (a square of 10 mm)", "G0 X0 Y0 Z0", "G1 X10 F100", "Y10", "X0", "Y0"});
        m_dock = new plot::ToolpathDock(*m_host);
        m_dock->resize(640, 520);
        QSignalSpy shown(m_dock, &plot::ToolpathDock::pathShown);
        m_dock->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dock));
        while (shown.isEmpty() || !shown.last().first().toBool())
            QVERIFY(shown.wait(20000));
        m_dock->view()->showView(plot::View::Top);
    }
    void cleanup()
    {
        delete m_dock;
        delete m_host;
    }

    // The square's sides are drawn in the top view where the camera puts them; inside it, nothing.
    void aSquareInTheTopView()
    {
        QVERIFY2(m_dock->status().contains(QLatin1String("no finding")), qPrintable(m_dock->status()));
        const QImage image = frame();
        QVERIFY(!image.isNull());
        for (const QVector3D &side : {pixelOf(5, 0), pixelOf(10, 5), pixelOf(5, 10), pixelOf(0, 5)})
            QVERIFY2(near(image, side, std::nullopt), qPrintable(QStringLiteral("%1,%2").arg(side.x()).arg(side.y())));
        QVERIFY(!near(image, pixelOf(5, 5), std::nullopt));
        QVERIFY(!near(image, pixelOf(3, 7), std::nullopt));
    }

    // A click on a side shows its line in the editor with the caret on it; the caret's line is
    // highlighted and the tool marked where the line leaves it.
    void aClickShowsTheLineAndTheCaretHighlightsIt()
    {
        const QVector3D right = pixelOf(10, 5);
        QTest::mouseClick(m_dock->view(), Qt::LeftButton, {}, QPoint(qRound(right.x()), qRound(right.y())));
        QCOMPARE(m_host->editor().caretLine(), 4);
        QVERIFY(near(frame(), right, kCaret));
        QVERIFY(!near(frame(), pixelOf(5, 0), kCaret));
        m_host->editor().showLineWithCaret(5);
        QVERIFY(near(frame(), pixelOf(5, 10), kCaret));
        QVERIFY(!near(frame(), right, kCaret));
    }

    // The range of the tool window in use is highlighted, and follows its fields.
    void theToolWindowsRangeIsHighlighted()
    {
        m_host->editor().showLineWithCaret(1);
        frmN tool(*m_host);
        tool.Form_Load();
        tool.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tool));
        tool.LINE2LINE->setChecked(true);
        tool.StartLine->setText(QStringLiteral("3"));
        tool.EndLine->setText(QStringLiteral("3"));
        tool.activateWindow();
        tool.StartLine->setFocus();
        QTRY_VERIFY(near(frame(), pixelOf(5, 0), kRange));
        QVERIFY(!near(frame(), pixelOf(5, 10), kRange));
        tool.EndLine->setText(QStringLiteral("5"));
        QTRY_VERIFY(near(frame(), pixelOf(5, 10), kRange));
    }

    // A restart shown is drawn in its own colour, from the retract across to above its line's start
    // and down onto it; it goes when the restart is no longer shown.
    void aRestartsApproachIsDrawn()
    {
        const interp::RestartPlan plan = comm::planRestartOf(m_host->editor().program(), {}, {}, 5, 1);
        QVERIFY2(plan.ok, qPrintable(plan.refusal));
        comm::RestartBoard &board = comm::RestartBoard::of(m_host->mainWindow());
        board.show(plan);
        const QColor own = plot::ToolpathView::approachColour();
        const auto drawnAcross = [&](const QImage &image) {
            int hits = 0;
            for (float t : {2.0f, 3.5f, 5.0f, 6.5f, 8.0f})
                hits += near(image, pixelOf(t, t), own) ? 1 : 0;
            return hits;
        };
        QImage image = frame();
        QVERIFY(drawnAcross(image) >= 3);
        QVERIFY(near(image, pixelOf(10, 10), own)); // the start, marked
        QVERIFY(!near(image, pixelOf(5, 0), own));
        board.clear();
        image = frame();
        QCOMPARE(drawnAcross(image), 0);
    }

    // Play draws the moves up to the one played, and the editor follows it.
    void playingDrawsUpToTheMovePlayed()
    {
        auto *slider = m_dock->findChild<QSlider *>(QStringLiteral("played"));
        QVERIFY(slider && slider->isEnabled());
        const std::vector<plot::SegmentRange> bottom = m_dock->view()->geometry()->segmentsOfLines(3, 3);
        QCOMPARE(bottom.size(), 1u);
        slider->setValue(static_cast<int>(bottom[0].first + bottom[0].count));
        QCOMPARE(m_host->editor().caretLine(), 3);
        QVERIFY(near(frame(), pixelOf(2, 0), std::nullopt));
        QVERIFY(!near(frame(), pixelOf(10, 5), std::nullopt));
        slider->setValue(slider->maximum());
        QVERIFY(near(frame(), pixelOf(10, 5), std::nullopt));
    }

    // A path of more segments than a slice is drawn over several frames, a sample of it standing
    // in after the camera turned; once whole, the picture is the one drawn in a single frame, the
    // range's highlight drawn over it included. So it is drawn by GL and by the window's own line
    // drawing, and the two pictures agree within a pixel.
    void aPictureDrawnInSlicesIsThePictureDrawnAtOnce()
    {
        QList<QByteArray> lines{"G21 G90"};
        for (int i = 0; i < 1500; ++i) {
            const int x = (i * 37) % 101, y = (i * 53) % 97;
            lines.push_back(i % 7 == 0 ? QByteArray("G0 X%1 Y%2").replace("%1", QByteArray::number(x)).replace("%2", QByteArray::number(y))
                                       : QByteArray("G1 X%1 Y%2 F500").replace("%1", QByteArray::number(y)).replace("%2", QByteArray::number(x)));
            if (i == 700)
                lines.push_back("T2 M6");
        }
        QSignalSpy shown(m_dock, &plot::ToolpathDock::pathShown);
        m_host->editor().program().replaceLines(tessarc::LineNumber(1), 6, lines);
        while (shown.isEmpty() || !shown.last().first().toBool())
            QVERIFY(shown.wait(20000));
        plot::ToolpathView &view = *m_dock->view();
        view.fitToPart();
        view.setRangeHighlight({{200, 900}});
        const plot::Camera rest = view.camera();
        const auto drawnPixels = [](const QImage &image) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    n += image.pixelColor(x, y).rgb() != kBackground.rgb();
            return n;
        };
        QImage atOnce[2];
        for (const bool processor : {false, true}) {
            view.setSliceLimit(0);
            view.setDrawnOnTheProcessor(processor);
            atOnce[processor] = frame();
            QVERIFY(view.isPictureWhole());

            view.setSliceLimit(97);
            view.camera().orbit(40, 25, view.geometry()->extents().centre());
            view.grabFramebuffer();
            QVERIFY(!view.isPictureWhole());
            view.camera() = rest;
            QSignalSpy drawn(&view, &plot::ToolpathView::pictureDrawn);
            const QImage sample = view.grabFramebuffer();
            QVERIFY(!view.isPictureWhole());
            QVERIFY(sample != atOnce[processor] && drawnPixels(sample) > drawnPixels(atOnce[processor]) / 3);
            QImage last;
            int frames = 1;
            for (; frames < 100 && !view.isPictureWhole(); ++frames)
                last = view.grabFramebuffer();
            QCOMPARE(drawn.size(), 1);
            QVERIFY2(frames >= (view.geometry()->segmentCount() + 900) / 97, qPrintable(QString::number(frames)));
            QVERIFY(last == atOnce[processor]);
        }
        // Each drawn pixel of one picture has its colour within a pixel in the other, but for a
        // few where lines cross.
        const auto missed = [](const QImage &a, const QImage &b) {
            int drawn = 0, alone = 0;
            for (int y = 1; y + 1 < a.height(); ++y) {
                for (int x = 1; x + 1 < a.width(); ++x) {
                    const QRgb c = a.pixel(x, y);
                    if (c == kBackground.rgb())
                        continue;
                    ++drawn;
                    bool near = false;
                    for (int dy = -1; dy <= 1 && !near; ++dy)
                        for (int dx = -1; dx <= 1 && !near; ++dx)
                            near = b.pixel(x + dx, y + dy) == c;
                    alone += !near;
                }
            }
            return double(alone) / std::max(1, drawn);
        };
        QVERIFY2(missed(atOnce[0], atOnce[1]) < 0.02, qPrintable(QString::number(missed(atOnce[0], atOnce[1]))));
        QVERIFY2(missed(atOnce[1], atOnce[0]) < 0.02, qPrintable(QString::number(missed(atOnce[1], atOnce[0]))));
    }

    // A change of the program is followed, the camera kept.
    void aChangeIsFollowed()
    {
        const QVector3D before = pixelOf(10, 0);
        QSignalSpy shown(m_dock, &plot::ToolpathDock::pathShown);
        m_host->editor().program().replaceLines(tessarc::LineNumber(4), 1, {"Y20"});
        while (shown.isEmpty() || !shown.last().first().toBool())
            QVERIFY(shown.wait(20000));
        QCOMPARE(pixelOf(10, 0), before);
        // The top side has gone from Y 10 to Y 20; the right side runs on through Y 5.
        QVERIFY(!near(frame(), pixelOf(5, 10), std::nullopt));
        QVERIFY(near(frame(), pixelOf(10, 5), std::nullopt));
    }

    // After a change only what the changed chunks made is made again, in the path shown: it is the
    // path made afresh from the toolpath file, and a move after the change picks its line as it is
    // numbered now.
    void aChangeIsPutInThePathShown()
    {
        m_dock->run().setCheckpointEvery(2);
        QSignalSpy shown(m_dock, &plot::ToolpathDock::pathShown);
        m_dock->run().start(true);
        while (shown.isEmpty() || !shown.last().first().toBool())
            QVERIFY(shown.wait(20000));
        const plot::PathGeometry *path = m_dock->view()->geometry();
        shown.clear();
        // A detour off the right side and back: the top side and the rest are kept, two lines on.
        m_host->editor().program().replaceLines(tessarc::LineNumber(5), 0, {"X7 Y6", "X10 Y10"});
        while (shown.isEmpty() || !shown.last().first().toBool())
            QVERIFY(shown.wait(20000));
        QVERIFY(m_dock->run().report().chunksKept > 0);
        QCOMPARE(m_dock->view()->geometry(), path);

        plot::PathGeometry fresh;
        QVERIFY(plot::buildFromToolpath(m_dock->run().toolpath(), path->tolerance(), nullptr,
                                        [&](plot::PathPiece &&piece, qint64, qint64) { fresh.append(std::move(piece)); }));
        QCOMPARE(path->vertices(), fresh.vertices());
        QCOMPARE(path->segmentCount(), fresh.segmentCount());
        for (qsizetype s = 0; s < fresh.segmentCount(); ++s)
            QVERIFY(path->segments()[s].move == fresh.segments()[s].move && path->segments()[s].line == fresh.segments()[s].line);
        QCOMPARE(m_dock->findChild<QSlider *>(QStringLiteral("played"))->maximum(), fresh.segmentCount());

        const QVector3D top = pixelOf(5, 10);
        QTest::mouseClick(m_dock->view(), Qt::LeftButton, {}, QPoint(qRound(top.x()), qRound(top.y())));
        QCOMPARE(m_host->editor().caretLine(), 7);
        QVERIFY(near(frame(), top, kCaret));
        QVERIFY(near(frame(), pixelOf(8.5f, 8), std::nullopt));
    }
};

VORNEXA_TEST_MAIN(TestToolpathView)
#include "tst_plot_view.moc"
