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
// The bytes of records a rewrite works on at once.
constexpr qint64 kRewriteBytes = 256 * 1024;

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

LineRules ToolWindow::lineRules() const
{
    LineRules rules;
    rules.spaces = m_host.values().numbers.spaces;
    rules.outputFormat = m_host.values().numbers.outputFormat;
    rules.maxLength = std::max(0, m_host.editor().recLen - 2);
    rules.comments = m_host.values().comments.rule();
    return rules;
}

// ---------------------------------------------------------------- Go

void ToolWindow::Go_Click()
{
    TESSARC &editor = m_host.editor();
    if (const std::optional<QString> refusal = checkFields()) {
        say(*refusal);
        return;
    }
    const std::optional<LineRange> range = checkRangeFields();
    if (!range) {
        say(m_host.values().messages.textNull);
        return;
    }
    if (const std::optional<QString> refusal = checkRun(*range)) {
        say(*refusal);
        return;
    }
    if (StepRecorder *steps = recorder()) {
        steps->addStep(stepName(), stepSettings());
        close();
        return;
    }
    editor.loadLine(editor.curLine);
    // A page the store refused (the control has said why) would later be written back over the run.
    if (!editor.pageIsStored())
        return;
    m_running = true;
    const auto notRunning = qScopeGuard([this]() { m_running = false; });
    OperationGuard guard(m_host, Go);
    if (guard.refused())
        return;
    guard.lockView();
    m_sinceProgress.invalidate();
    m_note = RunNote();
    m_note.what = stepName().isEmpty() ? windowTitle() : stepName();
    m_note.first = range->first;
    m_note.last = range->last;
    QElapsedTimer clock;
    clock.start();
    QString stopped;
    try {
        // The whole run is one step of the history, whatever part of it reaches the store.
        tessarc::ChangeRecord change(editor.program(), stepName(), tessarc::LineNumber(editor.curLine));
        stopped = runOn(*range);
        change.finish();
    } catch (const tessarc::ControlError &error) {
        stopped = error.description() + QLatin1Char('.');
    } catch (const std::bad_alloc &) {
        stopped = QStringLiteral("Out of memory.");
    }
    // The lock is given back before the machinist is told, so the program can be looked at.
    guard.release();
    m_note.elapsedMs = clock.elapsed();
    m_note.stopped = stopped;
    m_host.showNote(m_note.text());
    if (!stopped.isEmpty())
        say(stopped);
}

std::optional<LineRange> ToolWindow::checkRangeFields() const
{
    return checkRange(rangeFields(), m_host.editor().numberOfLines());
}

QString ToolWindow::runOn(const LineRange &range)
{
    return rewriteRange(range, prepareRun());
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

QString ToolWindow::stoppedText(const LineRange &range, qint64 line, const QString &reason, bool changedBefore)
{
    const QString where = QStringLiteral("Line %1: ").arg(line);
    if (line == range.first)
        return where + reason + QStringLiteral(" The run stopped there: no line was changed.");
    if (!changedBefore)
        return where + reason + QStringLiteral(" The run stopped there; the lines before it may have been changed.");
    return where + reason +
           QStringLiteral(" The run stopped there: lines %1 to %2 were changed, the lines from line %3 on were not.")
               .arg(range.first)
               .arg(line - 1)
               .arg(line);
}

QString ToolWindow::rewriteRange(const LineRange &range, const LineWork &work)
{
    TESSARC &editor = m_host.editor();
    qint64 next = range.first; // the line the run comes to next: where a failure stops it
    LineFault stoppedBy = LineFault::None;
    m_note.counted = true;
    try {
        tessarc::LineStore store;
        editor.program().openStore(store, range.last);
        // The lines the run came past may have changed, whether it ends, stops or fails.
        const auto told = qScopeGuard([&]() {
            editor.program().tellRewritten(tessarc::LineNumber(range.first), next - range.first);
        });
        // The records are rewritten where they stand, a few hundred kilobytes at a time, so that
        // they are still in the processor's cache when they are worked on and written back.
        tessarc::ChangeRecord *change = editor.program().recording();
        const auto rewrite = [&](tessarc::LineNumber record, QByteArrayView text, QByteArray &out) {
            next = record.value;
            showProgress(next - range.first + 1, range);
            const LineFault fault = work(text, out);
            if (stopsRun(fault)) {
                stoppedBy = fault;
                return false;
            }
            if (fault != LineFault::None)
                m_note.leaveAlone(fault);
            else if (QByteArrayView(out) != text)
                ++m_note.changed;
            ++next;
            return true;
        };
        const qint64 atOnce = std::max<qint64>(1, kRewriteBytes / std::max(1, editor.recLen));
        for (qint64 from = range.first; from <= range.last && stoppedBy == LineFault::None; from += atOnce)
            store.rewriteRecords(tessarc::LineNumber(from), std::min(atOnce, range.last - from + 1), rewrite,
                                 change ? change->journal() : nullptr);
        store.close();
    } catch (const tessarc::ControlError &error) {
        return stoppedText(range, next, error.description() + QLatin1Char('.'), false);
    }
    if (stoppedBy == LineFault::None)
        return QString();
    return stoppedText(range, next, lineFaultText(stoppedBy), true);
}

QString ToolWindow::readRange(const LineRange &range,
                              const std::function<bool(tessarc::LineNumber, QByteArrayView)> &visit)
{
    TESSARC &editor = m_host.editor();
    qint64 next = range.first;
    try {
        {
            tessarc::LineStore whole; // a short store is refused before anything is read
            editor.program().openStore(whole, range.last);
        }
        tessarc::StoreBlocks blocks(editor.program(), tessarc::LineNumber(range.first), range.count());
        while (blocks.next()) {
            for (qint64 i = 0; i < blocks.blockLines(); ++i) {
                const tessarc::LineNumber line = blocks.blockFirst() + i;
                next = line.value;
                showProgress(next - range.first + 1, range);
                if (!visit(line, blocks.line(i)))
                    return QString();
            }
        }
    } catch (const tessarc::ControlError &error) {
        return QStringLiteral("Line %1: ").arg(next) + error.description() + QLatin1Char('.');
    }
    return QString();
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
