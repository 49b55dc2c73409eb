#pragma once

#include "eventpump.h"
#include "lineposition.h"
#include "linerange.h"
#include "linerewrite.h"
#include "runnote.h"
#include "tool.h"

#include <QElapsedTimer>

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QAbstractButton;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct GlobalVar;
class Host;
class StepRecorder;

namespace tools {

// The frame every tool window shares: the line-range fields and their checks, the checks when the
// window opens and closes, Go with the operation lock, progress on the Go button and the run over
// the line store, and recording a step when the window's owner is a recorder. A tool adds its own
// fields to ownFields() and makes its tool from them (makeTool()), which Go runs on the program as
// Run Macro and the command line run it. A window whose work shows in the window itself (Find, Find
// Size) supplies its checks and its run as the window's own instead.
//
// The window belongs to the main window (or to the macro editor while recording), stays above it
// and is shown modeless. Enter presses Go, Escape closes it. It cannot be closed while any operation
// runs, and its Go waits while another one runs. When another program is loaded its range is filled
// again from that program.
class ToolWindow : public QWidget
{
    Q_OBJECT

public:
    ~ToolWindow() override;

    // ---- Frame fields (object names are the member names) ----
    QRadioButton *ALL = nullptr;       // "All Lines"
    QRadioButton *LINE2LINE = nullptr; // "From Line"
    QLineEdit *StartLine = nullptr;
    QLabel *Label2 = nullptr;          // "to Line"
    QLineEdit *EndLine = nullptr;
    QPushButton *Go = nullptr;         // "&Go"; shows the progress during a run

    // Stores the line being edited, fills the range from the editor and shows the window.
    void Form_Load();
    // Fills the range from the program: the current line to the last one (a tool may fill it its
    // own way).
    virtual void fillRange();
    // With no program loaded: the NOFILE text, and the window closes. Runs when the window is shown.
    void Form_Activate();
    // True while the window must not close (an operation runs).
    bool Form_QueryUnload() const;

    void Go_Click();
    void StartLine_Change();
    void EndLine_Change();
    void StartLine_GotFocus();
    void EndLine_GotFocus();
    void Label2_Click();

    // The range fields as they stand.
    RangeFields rangeFields() const;
    // The recorder this window hands its step to, when its owner is one.
    StepRecorder *recorder() const;
    // The tool with the window's fields as they stand: what Go runs. By default the window's own
    // checks and run (below).
    virtual std::unique_ptr<Tool> makeTool() const;
    // What a run works on besides the tool's settings: the program, the rules of Options.
    RunPlace runPlace() const;
    // The tool's step name and its settings text as recording writes them; by default its tool's.
    virtual QString stepName() const;
    virtual QString stepSettings() const;
    // What the last run did (shown in the status strip when it ends).
    const RunNote &lastNote() const { return m_note; }
    // For a run of its own: what it did, for its note.
    void tellNote(const QString &detail) { runNote().detail = detail; }

protected:
    // `owner` is the macro editor while recording, else null (the host's main window). `startLineUpperTest`:
    // whether StartLine is also refused above the program's last line.
    ToolWindow(Host &host, QWidget *owner, const QString &caption, bool startLineUpperTest = true);

    // For a window without a tool of its own: its checks and its run, as Tool's.
    virtual std::optional<QString> checkFields() const { return std::nullopt; }
    // The range Go works on, from the range fields, or nothing when they cannot run (the TEXTNULL
    // text is shown). By default: both fields numeric, 1 <= start <= end <= the last line.
    virtual std::optional<LineRange> checkRangeFields() const;
    // Checks that need the range, once it passed its own check.
    virtual std::optional<QString> checkRun(const LineRange &) const { return std::nullopt; }
    // What Go does under the lock, with the view read-only, once every check passed: the message to
    // show afterwards (why the run stopped early), or nothing.
    virtual QString runOn(const LineRange &range) { (void)range; return QString(); }
    // After Go: a run (ran) or a refusal, once the lock is free, before its message is shown.
    virtual void ranTool(const ToolOutcome &outcome) { (void)outcome; }

    // For runOn: the range rewritten in place, line by line, with `work`; progress on Go.
    QString rewriteRange(const LineRange &range, const LineWork &work);
    // For runOn, or a read of the window's own: the range read line by line; `visit` returns false
    // to stop. Progress on Go.
    QString readRange(const LineRange &range, const std::function<bool(tessarc::LineNumber, QByteArrayView)> &visit);
    // For runs of their own: the progress caption on the progress button for the `counter`-th line
    // of the range, and the events let through, at most every few tens of milliseconds.
    void showProgress(qint64 counter, const LineRange &range);
    // The button that shows a run's progress: Go, unless the window runs from other buttons too.
    virtual QPushButton *progressButton() const { return Go; }
    // The note of the run going on.
    RunNote &runNote() { return m_run ? m_run->note() : m_note; }

    // Where the tool lays out its own fields, above the range.
    QBoxLayout *ownFields() const { return m_own; }
    // The field that has the focus when the window opens (the range fields would select LINE2LINE).
    void setFirstField(QWidget *field) { m_firstField = field; }
    // The rules for rewriting a line: the NUMBERS / SPACES and OUTPUTFORMAT settings, the comment
    // delimiters and the most a record of the store holds.
    LineRules lineRules() const;
    Host &host() const { return m_host; }
    // A message box with the program title.
    void say(const QString &text);

    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class WindowTool;
    friend class WindowFeedback;
    bool rangeKeyAccepted(QKeyEvent *event);

    Host &m_host;
    bool m_startLineUpperTest;
    bool m_running = false; // this window's own run holds the lock
    QBoxLayout *m_own = nullptr;
    QWidget *m_firstField = nullptr;
    RunNote m_note;
    const ToolRun *m_run = nullptr; // the run going on
    // Progress during a run.
    tessarc::EventPump m_pump;
    QElapsedTimer m_sinceProgress;
};

// What a tool's run works on: `program`, with the rules of Options that `values` hold (the number
// notation, the output picture, the comment delimiters and kept commands); `caretLine` for the
// history. The windows and the forms without a window run tools with the same.
RunPlace runPlaceFor(const GlobalVar &values, tessarc::Program &program, qint64 caretLine);

// A value a button shows as its caption (Insert File's path): every character as it is, an "&"
// included, which a caption would take for a shortcut mark.
void setCaptionValue(QAbstractButton &button, const QString &value);
QString captionValue(const QAbstractButton &button);

} // namespace tools
