#include "toolwindow.h"

#include "eventpump.h"
#include "globalvar.h"
#include "host.h"
#include "linestore.h"
#include "operation.h"
#include "prompts.h"
#include "steprecorder.h"
#include "storeblocks.h"
#include "tessarc.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <new>

namespace tools {

namespace {

// Progress is drawn and events are let through at most this often.
constexpr int kYieldMs = 30;
// Lines between looks at the clock.
constexpr qint64 kClockEvery = 64;

template <class W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

ToolWindow::ToolWindow(Host &host, QWidget *owner, const QString &caption, bool startLineUpperTest)
    : QWidget(owner ? owner : host.mainWindow(), Qt::Tool), m_host(host), m_startLineUpperTest(startLineUpperTest),
      m_pump(kYieldMs)
{
    setWindowTitle(caption);

    auto *outer = new QVBoxLayout(this);
    m_own = new QVBoxLayout;
    outer->addLayout(m_own);

    auto *rangeBox = named(new QGroupBox(QStringLiteral("Lines"), this), "rangeBox");
    auto *range = new QGridLayout(rangeBox);
    ALL = named(new QRadioButton(QStringLiteral("All Lines"), rangeBox), "ALL");
    LINE2LINE = named(new QRadioButton(QStringLiteral("From Line"), rangeBox), "LINE2LINE");
    StartLine = named(new QLineEdit(rangeBox), "StartLine");
    Label2 = named(new QLabel(QStringLiteral("to Line"), rangeBox), "Label2");
    EndLine = named(new QLineEdit(rangeBox), "EndLine");
    ALL->setChecked(true);
    for (QLineEdit *field : {StartLine, EndLine}) {
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 12);
        field->setAlignment(Qt::AlignRight);
        field->installEventFilter(this);
    }
    Label2->installEventFilter(this);
    range->addWidget(ALL, 0, 0, 1, 4);
    range->addWidget(LINE2LINE, 1, 0);
    range->addWidget(StartLine, 1, 1);
    range->addWidget(Label2, 1, 2);
    range->addWidget(EndLine, 1, 3);
    range->setColumnStretch(4, 1);
    outer->addWidget(rangeBox);

    Go = named(new QPushButton(QStringLiteral("&Go"), this), "Go");
    Go->setMinimumWidth(Go->fontMetrics().horizontalAdvance(QStringLiteral("100.00%")) + 32);
    Go->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Go);
    outer->addLayout(buttons);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    // The range's own rules are for what the machinist types; a value the program sets (a search
    // hit, a macro step) stands until Go checks it.
    connect(StartLine, &QLineEdit::textEdited, this, &ToolWindow::StartLine_Change);
    connect(EndLine, &QLineEdit::textEdited, this, &ToolWindow::EndLine_Change);
    connect(Go, &QPushButton::clicked, this, &ToolWindow::Go_Click);
    // Go waits while another operation holds the lock; this window's own run shows its progress there.
    connect(&host.lock(), &tessarc::OperationLock::busyChanged, this, [this](bool busy) {
        if (!m_running)
            Go->setEnabled(!busy);
    });
    Go->setEnabled(!host.lock().held);
    connect(&host.editor().program(), &tessarc::Program::loaded, this, &ToolWindow::fillRange);
}

ToolWindow::~ToolWindow() = default;

// ---------------------------------------------------------------- window life

void ToolWindow::fillRange()
{
    TESSARC &editor = m_host.editor();
    if (editor.lfile.isEmpty())
        return;
    editor.loadLine(editor.curLine);
    StartLine->setText(QString::number(editor.curLine));
    EndLine->setText(QString::number(editor.numberOfLines()));
}

void ToolWindow::Form_Load()
{
    m_host.applyIcon(this);
    fillRange();
    // The tool's own fields come first, then the range, then Go.
    QList<QWidget *> order;
    for (QWidget *w : findChildren<QWidget *>()) {
        if (w->focusPolicy() & Qt::TabFocus && w != ALL && w != LINE2LINE && w != StartLine && w != EndLine && w != Go)
            order.append(w);
    }
    order << ALL << LINE2LINE << StartLine << EndLine << Go;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    show();
    (m_firstField ? m_firstField : static_cast<QWidget *>(ALL))->setFocus(Qt::OtherFocusReason);
}

void ToolWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Checked once the window is up, as when it becomes the active window.
    QTimer::singleShot(0, this, &ToolWindow::Form_Activate);
}

void ToolWindow::Form_Activate()
{
    if (!m_host.editor().lfile.isEmpty() || !isVisible())
        return;
    say(m_host.values().messages.noFile);
    close();
}

bool ToolWindow::Form_QueryUnload() const
{
    return m_host.editor().Run;
}

void ToolWindow::closeEvent(QCloseEvent *event)
{
    if (Form_QueryUnload()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void ToolWindow::keyPressEvent(QKeyEvent *event)
{
    // Enter presses Go wherever the focus is; Escape puts the window away unless a run holds it.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (Go->isEnabled() && event->modifiers() == Qt::NoModifier) {
            Go->click();
            return;
        }
        break;
    case Qt::Key_Escape:
        close();
        return;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void ToolWindow::say(const QString &text)
{
    m_host.prompts().message(this, text, m_host.values().brand.programTitle);
}

// ---------------------------------------------------------------- the range fields

bool ToolWindow::rangeKeyAccepted(QKeyEvent *event)
{
    const QString text = event->text();
    if (text.isEmpty() || event->key() == Qt::Key_Delete || event->key() == Qt::Key_Tab ||
        event->key() == Qt::Key_Backtab || event->key() == Qt::Key_Backspace)
        return true;
    // The usual editing shortcuts still work; what they bring in is checked as the text changes.
    for (QKeySequence::StandardKey key : {QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste,
                                          QKeySequence::SelectAll, QKeySequence::Undo, QKeySequence::Redo}) {
        if (event->matches(key))
            return true;
    }
    return text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
}

bool ToolWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == StartLine || watched == EndLine) {
        if (event->type() == QEvent::KeyPress && !rangeKeyAccepted(static_cast<QKeyEvent *>(event))) {
            m_host.prompts().beep();
            return true;
        }
        if (event->type() == QEvent::FocusIn) {
            if (watched == StartLine)
                StartLine_GotFocus();
            else
                EndLine_GotFocus();
        }
    } else if (watched == Label2 && event->type() == QEvent::MouseButtonRelease) {
        Label2_Click();
    }
    return QWidget::eventFilter(watched, event);
}

void ToolWindow::StartLine_Change()
{
    if (startLineRefused(StartLine->text(), m_host.editor().numberOfLines(), m_startLineUpperTest)) {
        say(m_host.values().messages.badStart);
        StartLine->setText(QStringLiteral("1"));
    }
}

void ToolWindow::EndLine_Change()
{
    const int total = m_host.editor().numberOfLines();
    if (endLineRefused(EndLine->text(), total)) {
        say(m_host.values().messages.badEnd);
        EndLine->setText(QString::number(total));
    }
}

void ToolWindow::StartLine_GotFocus()
{
    LINE2LINE->setChecked(true);
}

void ToolWindow::EndLine_GotFocus()
{
    LINE2LINE->setChecked(true);
}

void ToolWindow::Label2_Click()
{
    LINE2LINE->setChecked(true);
}

RangeFields ToolWindow::rangeFields() const
{
    return {ALL->isChecked(), LINE2LINE->isChecked(), StartLine->text(), EndLine->text()};
}

StepRecorder *ToolWindow::recorder() const
{
    return dynamic_cast<StepRecorder *>(parentWidget());
}

RunPlace runPlaceFor(const GlobalVar &values, tessarc::Program &program, qint64 caretLine)
{
    LineRules rules;
    rules.spaces = values.numbers.spaces;
    rules.outputFormat = values.numbers.outputFormat;
    rules.maxLength = std::max(0, program.recordLength - 2);
    rules.comments = values.comments.rule();
    return {program, rules, values.messages.textNull, values.comments.commands, caretLine};
}

LineRules ToolWindow::lineRules() const
{
    return runPlace().rules;
}

// ---------------------------------------------------------------- Go

// A window's own checks and run as its tool, for a window without a tool of its own.
class WindowTool : public Tool
{
public:
    explicit WindowTool(ToolWindow &window) : m_window(window) { fields = window.rangeFields(); }

    QString stepName() const override { return m_window.stepName(); }
    QString stepSettings(const QString &) const override { return m_window.stepSettings(); }
    std::optional<QString> checkFields(const RunPlace &) const override { return m_window.checkFields(); }
    std::optional<LineRange> checkRange(const RunPlace &) const override { return m_window.checkRangeFields(); }
    std::optional<QString> checkRun(const LineRange &range, const RunPlace &) const override
    {
        return m_window.checkRun(range);
    }
    QString run(ToolRun &run, const LineRange &range) override
    {
        m_window.m_run = &run;
        const auto done = qScopeGuard([this] { m_window.m_run = nullptr; });
        return m_window.runOn(range);
    }

private:
    ToolWindow &m_window;
};

// A run's progress drawn on the window's progress button.
class WindowFeedback : public RunFeedback
{
public:
    explicit WindowFeedback(ToolWindow &window) : m_window(window) {}
    void progress(qint64 counter, const LineRange &range) override { m_window.showProgress(counter, range); }

private:
    ToolWindow &m_window;
};

std::unique_ptr<Tool> ToolWindow::makeTool() const
{
    return std::make_unique<WindowTool>(const_cast<ToolWindow &>(*this));
}

QString ToolWindow::stepName() const
{
    return makeTool()->stepName();
}

QString ToolWindow::stepSettings() const
{
    return makeTool()->stepSettings(m_host.values().brand.stepSeparator);
}

RunPlace ToolWindow::runPlace() const
{
    TESSARC &editor = m_host.editor();
    return runPlaceFor(m_host.values(), editor.program(), editor.curLine);
}

void ToolWindow::Go_Click()
{
    TESSARC &editor = m_host.editor();
    const std::unique_ptr<Tool> tool = makeTool();
    std::optional<OperationGuard> guard;
    const auto start = [&](const LineRange &) {
        if (StepRecorder *steps = recorder()) {
            steps->addStep(tool->stepName(), tool->stepSettings(m_host.values().brand.stepSeparator));
            close();
            return false;
        }
        editor.loadLine(editor.curLine);
        // A page the store refused (the control has said why) would later be written back over the run.
        if (!editor.pageIsStored())
            return false;
        // Marked first: Go stays as it is when the lock is taken, to show the run's progress.
        m_running = true;
        guard.emplace(m_host, Go);
        if (guard->refused())
            return false;
        guard->lockView();
        m_sinceProgress.invalidate();
        return true;
    };
    WindowFeedback feedback(*this);
    ToolOutcome outcome = runTool(*tool, runPlace(), feedback, start);
    m_running = false;
    if (outcome.ran) {
        if (outcome.note.what.isEmpty())
            outcome.note.what = windowTitle();
        m_note = outcome.note;
    }
    // The lock is given back before the machinist is told, so the program can be looked at.
    if (guard)
        guard->release();
    if (outcome.ran)
        m_host.showNote(m_note.text());
    ranTool(outcome);
    if (!outcome.message.isEmpty())
        say(outcome.message);
}

std::optional<LineRange> ToolWindow::checkRangeFields() const
{
    return checkRange(rangeFields(), m_host.editor().numberOfLines());
}

void ToolWindow::showProgress(qint64 counter, const LineRange &range)
{
    // Most lines only pass by: the cheapest test comes first.
    if (m_sinceProgress.isValid() && counter % kClockEvery != 0)
        return;
    if (!m_host.values().numbers.calcPercent)
        return;
    if (m_sinceProgress.isValid() && m_sinceProgress.elapsed() < kYieldMs)
        return;
    if (const std::optional<QString> caption = progressCaption(counter, range, m_host.values().numbers.percentFormat))
        progressButton()->setText(*caption);
    m_pump.now();
    m_sinceProgress.restart();
}

QString ToolWindow::rewriteRange(const LineRange &range, const LineWork &work)
{
    return m_run->rewriteRange(range, work);
}

QString ToolWindow::readRange(const LineRange &range,
                              const std::function<bool(tessarc::LineNumber, QByteArrayView)> &visit)
{
    if (m_run)
        return m_run->readRange(range, visit);
    // A read of the window's own outside Go (a list that reads the range again).
    const RunPlace place = runPlace();
    WindowFeedback feedback(*this);
    RunNote note;
    return ToolRun(place, feedback, note).readRange(range, visit);
}

void setCaptionValue(QAbstractButton &button, const QString &value)
{
    button.setText(QString(value).replace(QLatin1Char('&'), QStringLiteral("&&")));
}

QString captionValue(const QAbstractButton &button)
{
    return button.text().replace(QStringLiteral("&&"), QStringLiteral("&"));
}

} // namespace tools
