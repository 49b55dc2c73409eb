#pragma once

class QAbstractButton;
class mainform;

// The operation lock: the editor's Run flag, held by one operation at a time (a tool run, a search,
// a print, a send or a receive), with the busy indicator in the main window's caption.
namespace functions {

// Takes the lock and starts the busy indicator, and returns false. When another operation holds
// it, shows the ALREADYRUNNING text and returns true: the caller stops.
bool beginOperation(mainform &main);
// Releases the lock and stops the busy indicator.
void endOperation(mainform &main);

} // namespace functions

namespace tools {

// Holds the operation lock for one run and gives everything back when the run ends, whichever
// way it ends (finished, stopped at a line, failed with an exception): the Go button's caption
// back to "Go", the lock released, the current page shown again from the store, the view editable.
class OperationGuard
{
public:
    // Takes the lock (refused() tells whether another operation holds it). `go` is the button
    // that shows the progress, if any.
    explicit OperationGuard(mainform &main, QAbstractButton *go = nullptr);
    ~OperationGuard();
    OperationGuard(const OperationGuard &) = delete;
    OperationGuard &operator=(const OperationGuard &) = delete;

    bool refused() const { return !m_held; }
    // Makes the editor's view read-only until the guard releases it.
    void lockView();
    // Gives everything back now; later calls do nothing.
    void release();

private:
    mainform &m_main;
    QAbstractButton *m_go;
    bool m_held = false;
    bool m_viewLocked = false;
};

} // namespace tools
