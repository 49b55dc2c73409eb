#include "toolpathdock.h"

#include "frmcheck.h"
#include "host.h"
#include "linerange.h"
#include "linesource.h"
#include "program.h"
#include "restartboard.h"
#include "tessarc.h"
#include "toolpath.h"
#include "toolpathview.h"
#include "toolwindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <chrono>

namespace plot {

namespace {

constexpr qint64 kBlockMoves = 65536;
// A first picture follows this many lines of a program while the whole of it is followed.
constexpr qint64 kPreviewLines = 150000;
// How often a path being built is shown in part.
constexpr auto kShowEvery = std::chrono::milliseconds(250);

QString kindName(interp::MoveKind kind)
{
    switch (kind) {
    case interp::MoveKind::Rapid: return ToolpathDock::tr("rapid");
    case interp::MoveKind::Feed: return ToolpathDock::tr("feed");
    case interp::MoveKind::Arc: return ToolpathDock::tr("arc");
    case interp::MoveKind::Dwell: return ToolpathDock::tr("dwell");
    case interp::MoveKind::Probe: return ToolpathDock::tr("probe");
    }
    return QString();
}

interp::Setup setupFor(const tessarc::Program &program)
{
    interp::Setup setup;
    setup.subroutineFolder = QFileInfo(program.path).absolutePath();
    return setup;
}

} // namespace

ToolpathDock::ToolpathDock(Host &host, QWidget *parent) : QDockWidget(tr("Toolpath"), parent), m_host(host)
{
    setObjectName(QStringLiteral("toolpathDock"));
    tessarc::Program &program = host.editor().program();
    m_run = std::make_unique<interp::PathRun>(program, setupFor(program));

    auto *body = new QWidget(this);
    auto *column = new QVBoxLayout(body);
    column->setContentsMargins(2, 2, 2, 2);
    auto *buttons = new QHBoxLayout;
    const auto button = [&](const QString &text, const QString &name, auto &&clicked) {
        auto *b = new QToolButton(body);
        b->setText(text);
        b->setObjectName(name);
        buttons->addWidget(b);
        connect(b, &QToolButton::clicked, this, clicked);
        return b;
    };
    button(tr("Top"), QStringLiteral("top"), [this] { m_view->showView(View::Top); });
    button(tr("Front"), QStringLiteral("front"), [this] { m_view->showView(View::Front); });
    button(tr("Side"), QStringLiteral("side"), [this] { m_view->showView(View::Side); });
    button(tr("Iso"), QStringLiteral("iso"), [this] { m_view->showView(View::Iso); });
    button(tr("Lathe"), QStringLiteral("lathe"), [this] { m_view->showView(View::Lathe); });
    button(tr("Fit"), QStringLiteral("fit"), [this] { m_view->fitToPart(); });
    m_play = button(tr("Play"), QStringLiteral("play"), [this] { play(); });
    m_slider = new QSlider(Qt::Horizontal, body);
    m_slider->setObjectName(QStringLiteral("played"));
    m_slider->setEnabled(false);
    buttons->addWidget(m_slider, 1);
    column->addLayout(buttons);
    m_view = new ToolpathView(body);
    m_view->setObjectName(QStringLiteral("toolpathView"));
    column->addWidget(m_view, 1);
    m_state = new QLabel(body);
    m_state->setObjectName(QStringLiteral("toolpathState"));
    m_state->setWordWrap(true);
    column->addWidget(m_state);
    setWidget(body);

    connect(m_run.get(), &interp::PathRun::progress, this, [this](qint64 done, qint64 total) {
        m_current = false;
        setStatus(tr("Following the program: %1%").arg(total > 0 ? done * 100 / total : 0));
    });
    connect(m_run.get(), &interp::PathRun::finished, this, &ToolpathDock::runEnded);
    connect(m_view, &ToolpathView::movePicked, this, [this](qint64, qint64 line) {
        m_host.editor().showLineWithCaret(line);
    });
    connect(m_view, &ToolpathView::moveHovered, this, &ToolpathDock::tellMove);
    connect(m_view, &ToolpathView::scaleChanged, this, &ToolpathDock::scaleChanged);
    m_finer.setSingleShot(true);
    m_finer.setInterval(400);
    connect(&m_finer, &QTimer::timeout, this, [this] {
        if (m_current && !m_builder.joinable())
            buildGeometry(std::max(m_finest, m_view->camera().mmPerPixel() * 0.5));
    });
    connect(&host.editor(), &TESSARC::caretLineChanged, this, &ToolpathDock::caretMoved);
    const comm::RestartBoard &board = comm::RestartBoard::of(host.mainWindow());
    connect(&board, &comm::RestartBoard::changed, this, [this, &board] {
        std::vector<ToolpathView::ApproachPoint> points;
        for (const interp::Move &m : board.moves())
            points.push_back({QVector3D(float(m.end[0] + m.offset[0]), float(m.end[1] + m.offset[1]), float(m.end[2] + m.offset[2])),
                              m.kind != interp::MoveKind::Rapid});
        m_view->setApproach(std::move(points));
    });
    connect(qApp, &QApplication::focusChanged, this, &ToolpathDock::followFocus);
    connect(m_slider, &QSlider::valueChanged, this, &ToolpathDock::showPlayed);
    m_playing.setInterval(30);
    connect(&m_playing, &QTimer::timeout, this, [this] {
        const int step = std::max(1, m_slider->maximum() / 600);
        if (m_slider->value() >= m_slider->maximum()) {
            play();
            return;
        }
        m_slider->setValue(std::min(m_slider->maximum(), m_slider->value() + step));
    });
    setStatus(tr("Following the program..."));
    m_run->start(true);
    preview();
}

void ToolpathDock::preview()
{
    const tessarc::Program &program = m_host.editor().program();
    if (program.lineCount() <= kPreviewLines)
        return; // the whole program is soon there
    const QString store = program.store;
    const int recordLength = program.recordLength;
    const qint64 lines = program.lineCount();
    const interp::Setup setup = m_run->setup();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_cancelBuild = cancel;
    const quint64 generation = ++m_buildGeneration;
    m_finerBuild = false;
    m_expectedSegments = 0;
    m_builder = std::thread([this, store, recordLength, lines, setup, cancel, generation] {
        try {
            interp::StoreLines source(store, recordLength, lines);
            interp::Interpreter interpreter(setup);
            QList<interp::Move> moves;
            QList<interp::Finding> findings;
            while (!cancel->load() && interpreter.state().line <= kPreviewLines && interpreter.step(source, moves, findings)) {
            }
            if (cancel->load())
                return;
            PathBuilder builder(0.05);
            auto batch = std::make_shared<std::vector<PathPiece>>();
            batch->push_back(builder.add(moves, 0));
            QMetaObject::invokeMethod(this, [this, batch, generation] {
                piecesReady(batch, 0.05, false, generation);
                if (generation == m_buildGeneration) {
                    m_fittedToPreview = true;
                    setStatus(tr("The program's first %1 lines, while the whole of it is followed; what is shown is only a part of it")
                                  .arg(kPreviewLines));
                }
            }, Qt::QueuedConnection);
        } catch (const std::exception &) {
            // No first picture: the whole one comes all the same.
        }
    });
}

ToolpathDock::~ToolpathDock()
{
    stopBuilder();
    m_run->cancel();
}

void ToolpathDock::setStatus(const QString &text)
{
    m_statusText = text;
    m_state->setText(text);
}

void ToolpathDock::runEnded(bool complete, const QString &message)
{
    if (!complete) {
        // A run stopped by a change is followed by the next; one that failed says why.
        if (!m_run->isRunning())
            setStatus(tr("The toolpath is not complete: %1").arg(message));
        return;
    }
    const interp::Toolpath &toolpath = m_run->toolpath();
    m_findingsText = tr("%1 moves, no finding.").arg(toolpath.moveCount());
    try {
        // The first finding only: the chunks before it hold none.
        const std::vector<interp::PathChunk> &chunks = toolpath.chunks();
        const auto with = std::find_if(chunks.begin(), chunks.end(), [](const interp::PathChunk &c) { return c.findingCount > 0; });
        if (with != chunks.end()) {
            const QList<interp::Finding> first = toolpath.findings(std::size_t(with - chunks.begin()), 1);
            if (!first.isEmpty())
                m_findingsText = tr("%1 moves; %2 findings, the path is marked at their lines. The first: line %3: %4")
                                     .arg(toolpath.moveCount())
                                     .arg(toolpath.findingCount())
                                     .arg(first.first().line)
                                     .arg(first.first().reason);
        }
    } catch (const std::exception &) {
        // The path is drawn all the same; reading it says what fails.
    }
    // A builder under way draws a run that is no longer the file's.
    stopBuilder();
    if (!patchGeometry())
        buildGeometry();
}

void ToolpathDock::stopBuilder()
{
    if (m_cancelBuild)
        m_cancelBuild->store(true);
    if (m_builder.joinable())
        m_builder.join();
}

void ToolpathDock::buildGeometry(double tolerance)
{
    stopBuilder();
    const interp::Toolpath &toolpath = m_run->toolpath();
    const QString file = toolpath.file();
    const qint64 moves = toolpath.moveCount();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_cancelBuild = cancel;
    const quint64 generation = ++m_buildGeneration;
    m_finerBuild = tolerance > 0.0;
    // A segment a move, and some more for arcs: the path is kept in room made once.
    m_expectedSegments = moves + moves / 32;
    m_pending.reset();
    if (!m_finerBuild) {
        m_current = false;
        setStatus(tr("Drawing the path: 0%"));
    }
    m_builder = std::thread([this, file, moves, cancel, generation, tolerance] {
        const auto fail = [this](const QString &why) {
            QMetaObject::invokeMethod(this, [this, why] { setStatus(tr("The toolpath cannot be read: %1").arg(why)); },
                                      Qt::QueuedConnection);
        };
        interp::Toolpath path;
        QString error;
        if (!path.open(file, error))
            return fail(error);
        try {
            // The chords of arcs are kept under half a pixel of the whole part seen on a large
            // screen; a zoom asks for finer ones.
            double chord = tolerance;
            if (chord <= 0.0) {
                Box box;
                for (qint64 first = 0; first < moves && !cancel->load(); first += kBlockMoves) {
                    for (const interp::Move &m : path.moves(first, kBlockMoves))
                        box.add(QVector3D(static_cast<float>(m.end[0] + m.offset[0]), static_cast<float>(m.end[1] + m.offset[1]),
                                          static_cast<float>(m.end[2] + m.offset[2])));
                }
                const QVector3D size = box.size();
                chord = std::max(0.001, std::max({size.x(), size.y(), size.z()}) / 4000.0);
            }
            auto madeOf = std::make_shared<MadeOf>(MadeOf{file, path.header(), path.chunks()});
            PathBuilder builder(chord);
            auto batch = std::make_shared<std::vector<PathPiece>>();
            auto shownAt = std::chrono::steady_clock::now();
            // Whole chunks at a time, a block's worth or more: a chunk's findings mark the path
            // where the tool stands after its moves, one marker a finding.
            const std::vector<interp::PathChunk> &chunks = path.chunks();
            std::size_t chunk = 0;
            qint64 first = 0;
            while (chunk < chunks.size() && !cancel->load()) {
                const std::size_t from = chunk;
                qint64 count = 0;
                while (chunk < chunks.size() && (count == 0 || count + chunks[chunk].moveCount <= kBlockMoves))
                    count += chunks[chunk++].moveCount;
                const QList<interp::Move> block = path.moves(first, count);
                PathPiece piece;
                piece.firstMove = first;
                qsizetype at = 0;
                for (std::size_t k = from; k < chunk; ++k) {
                    const qsizetype n = std::min<qsizetype>(chunks[k].moveCount, block.size() - at);
                    builder.extend(piece, block.constData() + at, n,
                                   chunks[k].findingCount > 0 ? path.findings(k, 1) : QList<interp::Finding>());
                    at += n;
                }
                first += count;
                batch->push_back(std::move(piece));
                const auto now = std::chrono::steady_clock::now();
                if (now - shownAt >= kShowEvery && chunk < chunks.size()) {
                    shownAt = now;
                    const int percent = static_cast<int>(first * 100 / std::max<qint64>(1, moves));
                    QMetaObject::invokeMethod(this, [this, batch, chord, generation, percent] {
                        piecesReady(batch, chord, false, generation);
                        if (generation == m_buildGeneration && !m_finerBuild)
                            setStatus(tr("Drawing the path: %1%; what is shown is only a part of it").arg(percent));
                    }, Qt::QueuedConnection);
                    batch = std::make_shared<std::vector<PathPiece>>();
                }
            }
            if (cancel->load())
                return;
            QMetaObject::invokeMethod(this, [this, batch, chord, generation, madeOf] {
                if (generation == m_buildGeneration)
                    m_buildRun = madeOf;
                piecesReady(batch, chord, true, generation);
            }, Qt::QueuedConnection);
        } catch (const std::exception &e) {
            fail(QString::fromLocal8Bit(e.what()));
        }
    });
}

bool ToolpathDock::patchGeometry()
{
    const interp::PathRun::Report &report = m_run->report();
    const interp::Toolpath &toolpath = m_run->toolpath();
    if (!m_geometry || !m_shownRun || !report.incremental || !toolpath.isOpen() || m_geometry->isDecimated() ||
        report.base != m_shownRun->header || toolpath.file() != m_shownRun->file)
        return false;
    // The chunks the run kept stand where they stood in the file, at its start and at its end;
    // between them, those it wrote afresh took the place of the old ones.
    const std::vector<interp::PathChunk> &was = m_shownRun->chunks;
    const std::vector<interp::PathChunk> &now = toolpath.chunks();
    const auto kept = [](const interp::PathChunk &a, const interp::PathChunk &b) {
        return a.movesAt == b.movesAt && a.checkpointAt == b.checkpointAt && a.moveCount == b.moveCount &&
               a.findingCount == b.findingCount;
    };
    std::size_t head = 0;
    while (head < was.size() && head < now.size() && kept(was[head], now[head]))
        ++head;
    std::size_t tail = 0;
    while (tail < was.size() - head && tail < now.size() - head && kept(was[was.size() - 1 - tail], now[now.size() - 1 - tail]))
        ++tail;
    qint64 firstMove = 0, removedMoves = 0, addedMoves = 0;
    qsizetype firstMarker = 0, removedMarkers = 0;
    for (std::size_t i = 0; i < head; ++i) {
        firstMove += was[i].moveCount;
        firstMarker += was[i].findingCount;
    }
    for (std::size_t i = head; i < was.size() - tail; ++i) {
        removedMoves += was[i].moveCount;
        removedMarkers += was[i].findingCount;
    }
    for (std::size_t i = head; i < now.size() - tail; ++i)
        addedMoves += now[i].moveCount;

    PathPiece piece;
    piece.firstMove = firstMove;
    try {
        PathBuilder builder(m_tolerance);
        // Where the moves before leave the tool: the last of them that goes somewhere.
        for (qint64 end = firstMove; end > 0;) {
            const qint64 n = std::min<qint64>(end, 256);
            const QList<interp::Move> before = toolpath.moves(end - n, n);
            const auto last = std::find_if(before.rbegin(), before.rend(),
                                           [](const interp::Move &m) { return m.kind != interp::MoveKind::Dwell; });
            if (last != before.rend()) {
                builder.startAfter(*last);
                break;
            }
            end -= n;
        }
        const QList<interp::Move> made = toolpath.moves(firstMove, addedMoves);
        qsizetype at = 0;
        for (std::size_t k = head; k < now.size() - tail; ++k) {
            const qsizetype n = std::min<qsizetype>(now[k].moveCount, made.size() - at);
            builder.extend(piece, made.constData() + at, n,
                           now[k].findingCount > 0 ? toolpath.findings(k, 1) : QList<interp::Finding>());
            at += n;
        }
    } catch (const std::exception &) {
        return false; // made again from the file, which says what fails
    }
    std::function<qint64(qint64)> lineNow;
    const QList<interp::PathEdit> edits = report.edits;
    if (std::any_of(edits.begin(), edits.end(), [](const interp::PathEdit &e) { return e.inserted != e.removed; })) {
        // A kept line is none of those changed: the lines after each change moved along.
        lineNow = [edits](qint64 line) {
            for (const interp::PathEdit &e : edits) {
                if (line >= e.first + e.removed)
                    line += e.inserted - e.removed;
            }
            return line;
        };
    }
    // What a build stopped for this one may still have on its way is dropped.
    ++m_buildGeneration;
    m_pending.reset();
    m_finerBuild = false;
    m_view->changeGeometry([&] {
        return m_geometry->replaceMoves(removedMoves, std::move(piece), firstMarker, removedMarkers, lineNow);
    });
    m_shownRun = std::make_shared<MadeOf>(MadeOf{toolpath.file(), toolpath.header(), now});
    m_current = m_run->isCurrent();
    wholeShown();
    caretMoved(m_host.editor().caretLine());
    rangeChanged();
    emit pathShown(true);
    return true;
}

void ToolpathDock::piecesReady(std::shared_ptr<std::vector<PathPiece>> pieces, double tolerance, bool whole, quint64 generation)
{
    if (generation != m_buildGeneration)
        return;
    if (m_finerBuild) {
        // The same path drawn finer takes the place of the one shown only once it is whole.
        if (!m_pending) {
            m_pending = std::make_shared<PathGeometry>();
            m_pending->reserve(std::max<qsizetype>(m_expectedSegments, m_geometry ? m_geometry->segmentCount() : 0));
        }
        for (PathPiece &piece : *pieces)
            m_pending->append(std::move(piece));
        if (!whole)
            return;
        if (m_builder.joinable())
            m_builder.join();
        m_geometry = std::move(m_pending);
        m_shownGeneration = generation;
        m_shownRun = std::move(m_buildRun);
        m_tolerance = tolerance;
        m_view->setGeometry(m_geometry, false, true);
        caretMoved(m_host.editor().caretLine());
        rangeChanged();
        emit pathShown(true);
        return;
    }
    // The first picture showed the first lines only: the camera is fitted to the whole.
    const bool refit = whole && m_fittedToPreview;
    if (refit) {
        m_fitted = false;
        m_fittedToPreview = false;
    }
    m_shownRun.reset();
    if (generation != m_shownGeneration) {
        // The first pieces of another build: a path of its own, drawn from the start.
        m_shownGeneration = generation;
        m_geometry = std::make_shared<PathGeometry>();
        m_geometry->reserve(m_expectedSegments);
        for (PathPiece &piece : *pieces)
            m_geometry->append(std::move(piece));
        m_tolerance = tolerance;
        // The camera is fitted once, to the first picture: after a change it stays where it was.
        m_view->setGeometry(m_geometry, !m_fitted, whole);
        m_fitted = m_fitted || !m_geometry->extents().isEmpty();
    } else {
        for (PathPiece &piece : *pieces)
            m_geometry->append(std::move(piece));
        if (refit) {
            m_view->setGeometry(m_geometry, true, true);
            m_fitted = true;
        } else {
            m_view->geometryGrew(whole);
        }
    }
    if (whole) {
        if (m_builder.joinable())
            m_builder.join();
        m_shownRun = std::move(m_buildRun);
        m_current = m_run->isCurrent();
        wholeShown();
    }
    caretMoved(m_host.editor().caretLine());
    rangeChanged();
    emit pathShown(whole);
}

void ToolpathDock::wholeShown()
{
    const QVector3D size = m_geometry->extents().size();
    m_finest = std::max(0.001, std::max({size.x(), size.y(), size.z()}) / 200000.0);
    m_slider->setEnabled(m_geometry->segmentCount() > 0);
    m_slider->blockSignals(true);
    m_slider->setRange(0, static_cast<int>(std::min<qsizetype>(m_geometry->segmentCount(), INT_MAX)));
    m_slider->setValue(m_slider->maximum());
    m_slider->blockSignals(false);
    setStatus(m_findingsText);
    releaseFreedMemory();
}

void ToolpathDock::scaleChanged(double mmPerPixel)
{
    // Arcs are drawn again finer once their chords would show (more than half a pixel off).
    if (!m_geometry || m_geometry->arcs().empty() || m_builder.joinable() || !m_current)
        return;
    if (m_tolerance > std::max(m_finest, mmPerPixel) * 1.01)
        m_finer.start();
}

void ToolpathDock::caretMoved(qint64 line)
{
    if (!m_geometry || line < 1)
        return;
    // The caret's line comes to its moves through the toolpath file's index of lines, not a scan
    // of the path; while the path shown is not the file's run, by the path itself.
    std::vector<SegmentRange> ranges;
    bool indexed = false;
    if (m_current && m_run->isCurrent() && m_run->toolpath().isOpen()) {
        try {
            ranges = m_geometry->segmentsOfMoves(m_run->toolpath().movesOfLines(line, line));
            indexed = true;
        } catch (const std::exception &) {
        }
    }
    if (!indexed)
        ranges = m_geometry->segmentsOfLines(line, line);
    std::optional<QVector3D> toolAt;
    if (!ranges.empty()) {
        const SegmentRange &last = ranges.back();
        toolAt = m_geometry->vertex(last.first + last.count);
    } else if (m_run->isCurrent()) {
        // A line that moves nothing: the tool stands where the lines before it left it.
        tessarc::Program &program = m_host.editor().program();
        QString error;
        try {
            interp::StoreLines lines(program.store, program.recordLength, program.lineCount());
            if (const std::optional<interp::RunState> state = m_run->toolpath().stateBefore(line + 1, lines, m_run->setup(), error)) {
                const interp::ModalState &m = state->modal;
                toolAt = QVector3D(static_cast<float>(m.machine[0] - m.toolOffset[0]), static_cast<float>(m.machine[1] - m.toolOffset[1]),
                                   static_cast<float>(m.machine[2] - m.toolOffset[2]));
            }
        } catch (const std::exception &) {
            // The marker is left out; the path is drawn all the same.
        }
    }
    m_view->setCaretHighlight(std::move(ranges), toolAt);
}

void ToolpathDock::followFocus()
{
    // The tool window in use is the one that holds the keyboard (or its last one while the
    // editor or this view has it).
    QWidget *focus = QApplication::focusWidget();
    for (QWidget *w = focus; w; w = w->parentWidget()) {
        if (auto *tool = qobject_cast<tools::ToolWindow *>(w)) {
            if (tool != m_tool) {
                if (m_tool)
                    disconnect(m_tool, nullptr, this, nullptr);
                m_tool = tool;
                for (QLineEdit *field : {tool->StartLine, tool->EndLine})
                    connect(field, &QLineEdit::textChanged, this, &ToolpathDock::rangeChanged);
                for (QRadioButton *choice : {tool->ALL, tool->LINE2LINE})
                    connect(choice, &QRadioButton::toggled, this, &ToolpathDock::rangeChanged);
                connect(tool, &QObject::destroyed, this, &ToolpathDock::rangeChanged, Qt::QueuedConnection);
            }
            break;
        }
    }
    rangeChanged();
}

void ToolpathDock::rangeChanged()
{
    std::vector<SegmentRange> ranges;
    const auto *tool = qobject_cast<const tools::ToolWindow *>(m_tool.data());
    if (tool && tool->isVisible() && m_geometry) {
        if (const std::optional<tools::LineRange> range = tools::checkRange(tool->rangeFields(), m_host.editor().program().lineCount()))
            ranges = m_geometry->segmentsOfLines(range->first, range->last);
    }
    m_view->setRangeHighlight(std::move(ranges));
}

void ToolpathDock::play()
{
    if (m_playing.isActive()) {
        m_playing.stop();
        m_play->setText(tr("Play"));
        return;
    }
    if (!m_geometry || m_geometry->segmentCount() == 0)
        return;
    if (m_slider->value() >= m_slider->maximum())
        m_slider->setValue(0);
    m_play->setText(tr("Stop"));
    m_playing.start();
}

void ToolpathDock::showPlayed(int segment)
{
    if (!m_geometry)
        return;
    const bool all = segment >= m_slider->maximum();
    m_view->setShownSegments(all ? -1 : segment);
    // The editor follows the line being played.
    if (!all && segment > 0 && segment <= m_geometry->segmentCount())
        m_host.editor().showLineWithCaret(m_geometry->segments()[static_cast<std::size_t>(segment - 1)].line);
}

void ToolpathDock::tellMove(qint64 move, const QPoint &at)
{
    if (!m_run->toolpath().isOpen())
        return;
    QList<interp::Move> found;
    try {
        found = m_run->toolpath().moves(move, 1);
    } catch (const std::exception &) {
        return;
    }
    if (found.isEmpty())
        return;
    const interp::Move &m = found.first();
    QToolTip::showText(at, tr("Line %1: %2 to X %3 Y %4 Z %5, feed %6")
                               .arg(m.line)
                               .arg(kindName(m.kind))
                               .arg(m.end[0], 0, 'f', 3)
                               .arg(m.end[1], 0, 'f', 3)
                               .arg(m.end[2], 0, 'f', 3)
                               .arg(m.feed, 0, 'f', 1),
                       m_view);
}

void registerWindows(Host &host)
{
    mapLargeBlocksApart();
    host.addWindow(
        QStringLiteral("toolpath"),
        [](Host &h) -> QWidget * { return new ToolpathDock(h, h.mainWindow()); },
        [&host](QWidget *window) {
            auto *dock = static_cast<ToolpathDock *>(window);
            if (auto *main = qobject_cast<QMainWindow *>(host.mainWindow())) {
                main->addDockWidget(Qt::RightDockWidgetArea, dock);
                main->resizeDocks({dock}, {std::max(320, main->width() * 2 / 5)}, Qt::Horizontal);
            }
            dock->show();
        });
    registerCheckWindow(host);
}

} // namespace plot
