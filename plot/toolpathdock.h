#pragma once

#include "pathgeometry.h"
#include "pathrun.h"

#include <QDockWidget>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

class Host;
class QLabel;
class QSlider;
class QToolButton;
namespace tools {
class ToolWindow;
}

namespace plot {

class ToolpathView;

// The toolpath beside the text: the program followed on a thread of its own and drawn as it will
// cut, linked both ways with the editor (a click shows the move's line with the caret on it; the
// caret's line, and the range of the tool window in use, are highlighted), played move by move,
// and followed again after every change of the program.
class ToolpathDock : public QDockWidget
{
    Q_OBJECT

public:
    explicit ToolpathDock(Host &host, QWidget *parent = nullptr);
    ~ToolpathDock() override;

    ToolpathView *view() const { return m_view; }
    interp::PathRun &run() { return *m_run; }
    // Whether the path shown is the whole of the program as it stands.
    bool isCurrent() const { return m_current; }
    const QString &status() const { return m_statusText; }

signals:
    // The path shown changed: a piece came, or the whole of it (for tests and the window's title).
    void pathShown(bool whole);

private:
    void runEnded(bool complete, const QString &message);
    // Draws the path from the toolpath file, arcs to `tolerance` mm (0: what the part's size asks).
    void buildGeometry(double tolerance = 0.0);
    // After changes followed from the run the path shows: only the moves of the chunks the run
    // wrote afresh are made again, the rest is kept. false (nothing changed) when the path shown
    // is not that run's whole path.
    bool patchGeometry();
    // The path shown is whole: Play's slider and the status follow it.
    void wholeShown();
    void stopBuilder();
    // A first picture of the program's first lines, while the whole of it is followed.
    void preview();
    void piecesReady(std::shared_ptr<std::vector<PathPiece>> pieces, double tolerance, bool whole, quint64 generation);
    void scaleChanged(double mmPerPixel);
    void caretMoved(qint64 line);
    void followFocus();
    void rangeChanged();
    void play();
    void showPlayed(int segment);
    void setStatus(const QString &text);
    void tellMove(qint64 move, const QPoint &at);

    Host &m_host;
    std::unique_ptr<interp::PathRun> m_run;
    ToolpathView *m_view = nullptr;
    QLabel *m_state = nullptr;
    QSlider *m_slider = nullptr;
    QToolButton *m_play = nullptr;
    QTimer m_playing;
    std::shared_ptr<PathGeometry> m_geometry;
    quint64 m_shownGeneration = 0; // the build m_geometry comes from
    bool m_finerBuild = false;     // the build under way draws the same path finer: shown once whole
    std::shared_ptr<PathGeometry> m_pending;
    // The toolpath file's run a path was made of: the one shown (set once it is whole), and the
    // one of the build under way.
    struct MadeOf
    {
        QString file;
        interp::PathHeader header;
        std::vector<interp::PathChunk> chunks;
    };
    std::shared_ptr<const MadeOf> m_shownRun;
    std::shared_ptr<const MadeOf> m_buildRun;
    qsizetype m_expectedSegments = 0; // about how many segments the build under way makes
    double m_tolerance = 0.0;      // its arcs' chord tolerance
    double m_finest = 0.0;         // the finest tolerance worth drawing this part to
    QTimer m_finer;                // a zoom that asks for finer arcs, once it rests
    bool m_current = false;
    bool m_fitted = false;
    bool m_fittedToPreview = false; // the camera was fitted to the first lines' picture only
    QString m_statusText;
    QString m_findingsText;
    // The tool window whose range is highlighted; kept as a widget, so that one being destroyed
    // (whose focus moves away meanwhile) is never taken for a tool window.
    QPointer<QWidget> m_tool;
    std::thread m_builder;
    std::shared_ptr<std::atomic<bool>> m_cancelBuild;
    quint64 m_buildGeneration = 0;
};

// Puts the toolpath behind Inquire > Toolpath (F5).
void registerWindows(Host &host);

} // namespace plot
