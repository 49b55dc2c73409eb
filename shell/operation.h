#pragma once

class Host;
class QAbstractButton;

// Running an operation under the lock: one at a time (a tool run, a search, a print, a send or a
// receive). The main window shows the busy indicator and greys what must not run meanwhile for as
// long as the lock is held.
namespace functions {

// Takes the lock and returns false. When another operation holds it, shows the ALREADYRUNNING
// text and returns true: the caller stops.
bool beginOperation(Host &host);
// Releases the lock.
void endOperation(Host &host);

} // namespace functions

// Holds the operation lock for one run and gives everything back when the run ends, whichever
// way it ends (finished, stopped at a line, failed with an exception): the button's caption back
// to "Go", the lock released, the current page shown again from the store, the view editable.
class OperationGuard
{
public:
    // Takes the lock (refused() tells whether another operation holds it). `go` is the button
    // that shows the progress, if any.
    explicit OperationGuard(Host &host, QAbstractButton *go = nullptr);
    ~OperationGuard();
    OperationGuard(const OperationGuard &) = delete;
    OperationGuard &operator=(const OperationGuard &) = delete;

    bool refused() const { return !m_held; }
    // Makes the editor's view read-only until the guard releases it.
    void lockView();
    // Gives everything back now; later calls do nothing.
    void release();

private:
    Host &m_host;
    QAbstractButton *m_go;
    bool m_held = false;
    bool m_viewLocked = false;
};
