#include "frmsend.h"

#include "commwindows.h"
#include "globalvar.h"
#include "host.h"
#include "linerange.h"
#include "eventpump.h"
#include "machinepicker.h"
#include "machinesetupfor.h"
#include "operation.h"
#include "prompts.h"
#include "restartboard.h"
#include "tessarc.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace comm;

namespace {

const QString kSendCaption = QStringLiteral("&Send");

// Whether a key typed into a range field is taken: digits and editing keys; anything else beeps.
bool rangeKeyAccepted(const QKeyEvent *event)
{
    const QString text = event->text();
    if (text.isEmpty() || event->key() == Qt::Key_Delete || event->key() == Qt::Key_Tab ||
        event->key() == Qt::Key_Backtab || event->key() == Qt::Key_Backspace)
        return true;
    for (QKeySequence::StandardKey key : {QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste,
                                          QKeySequence::SelectAll, QKeySequence::Undo, QKeySequence::Redo}) {
        if (event->matches(key))
            return true;
    }
    return text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
}

} // namespace

frmSend::frmSend(Host &host, QWidget *parent)
    : QWidget(parent ? parent : host.mainWindow(), Qt::Dialog), m_host(host)
{
    setObjectName(QStringLiteral("frmSend"));
    setWindowTitle(QStringLiteral("Send"));
    picker = new MachinePicker(host, this);

    auto *rangeBox = new QGroupBox(QStringLiteral("Lines"), this);
    rangeBox->setObjectName(QStringLiteral("rangeBox"));
    ALL = new QRadioButton(QStringLiteral("All Lines"), rangeBox);
    LINE2LINE = new QRadioButton(QStringLiteral("From Line"), rangeBox);
    StartLine = new QLineEdit(rangeBox);
    Label2 = new QLabel(QStringLiteral("to Line"), rangeBox);
    EndLine = new QLineEdit(rangeBox);
    ALL->setObjectName(QStringLiteral("ALL"));
    LINE2LINE->setObjectName(QStringLiteral("LINE2LINE"));
    StartLine->setObjectName(QStringLiteral("StartLine"));
    Label2->setObjectName(QStringLiteral("Label2"));
    EndLine->setObjectName(QStringLiteral("EndLine"));
    RESTART = new QRadioButton(QStringLiteral("Start at Line"), rangeBox);
    RestartLine = new QLineEdit(rangeBox);
    lblPass = new QLabel(QStringLiteral("pass"), rangeBox);
    RestartPass = new QLineEdit(QStringLiteral("1"), rangeBox);
    RESTART->setObjectName(QStringLiteral("RESTART"));
    RestartLine->setObjectName(QStringLiteral("RestartLine"));
    lblPass->setObjectName(QStringLiteral("lblPass"));
    RestartPass->setObjectName(QStringLiteral("RestartPass"));
    RESTART->setToolTip(QStringLiteral("Sends the program from this line with the state in force there and a safe approach, "
                                       "shown before it goes; pass: which run of the line, in a loop or a subroutine"));
    ALL->setChecked(true);
    for (QLineEdit *field : {StartLine, EndLine, RestartLine, RestartPass}) {
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 12);
        field->setAlignment(Qt::AlignRight);
        field->installEventFilter(this);
    }
    Label2->installEventFilter(this);
    auto *range = new QGridLayout(rangeBox);
    range->addWidget(ALL, 0, 0, 1, 4);
    range->addWidget(LINE2LINE, 1, 0);
    range->addWidget(StartLine, 1, 1);
    range->addWidget(Label2, 1, 2);
    range->addWidget(EndLine, 1, 3);
    range->addWidget(RESTART, 2, 0);
    range->addWidget(RestartLine, 2, 1);
    range->addWidget(lblPass, 2, 2);
    range->addWidget(RestartPass, 2, 3);
    range->setColumnStretch(4, 1);

    Go = new QPushButton(kSendCaption, this);
    cq = new QPushButton(QStringLiteral("&Cancel"), this);
    Command2 = new QPushButton(QStringLiteral("Edit On The Fly"), this);
    Go->setObjectName(QStringLiteral("Go"));
    cq->setObjectName(QStringLiteral("cq"));
    Command2->setObjectName(QStringLiteral("Command2"));
    Go->setMinimumWidth(Go->fontMetrics().horizontalAdvance(QStringLiteral("100.00%")) + 32);
    Go->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Command2);
    buttons->addStretch(1);
    buttons->addWidget(cq);
    buttons->addWidget(Go);

    auto *outer = new QVBoxLayout(this);
    outer->addWidget(picker, 1);
    outer->addWidget(rangeBox);
    outer->addLayout(buttons);
    showSending(false);

    setTabOrder(picker->m, picker->Command1);
    setTabOrder(picker->Command1, ALL);
    setTabOrder(ALL, LINE2LINE);
    setTabOrder(LINE2LINE, StartLine);
    setTabOrder(StartLine, EndLine);
    setTabOrder(EndLine, RESTART);
    setTabOrder(RESTART, RestartLine);
    setTabOrder(RestartLine, RestartPass);
    setTabOrder(RestartPass, Go);
    setTabOrder(Go, cq);
    setTabOrder(cq, Command2);

    connect(StartLine, &QLineEdit::textEdited, this, &frmSend::StartLine_Change);
    connect(EndLine, &QLineEdit::textEdited, this, &frmSend::EndLine_Change);
    connect(Go, &QPushButton::clicked, this, &frmSend::Go_Click);
    connect(cq, &QPushButton::clicked, this, &frmSend::cq_Click);
    connect(Command2, &QPushButton::clicked, this, &frmSend::Command2_Click);
    connect(picker, &MachinePicker::manageMachines, this, &frmSend::Command1_Click);
    // Another program loaded: the range is that program's.
    connect(&host.editor().program(), &tessarc::Program::loaded, this, [this] {
        if (!m_transfer || !m_transfer->running())
            Form_Load();
    });
}

frmSend::~frmSend() = default;

// ---------------------------------------------------------------- window life

void frmSend::Form_Load()
{
    m_host.applyIcon(this);
    TESSARC &editor = m_host.editor();
    if (!editor.lfile.isEmpty()) {
        editor.loadLine(editor.curLine);
        StartLine->setText(QString::number(editor.curLine));
        EndLine->setText(QString::number(editor.numberOfLines()));
        RestartLine->setText(QString::number(editor.curLine));
    }
    picker->fill();
}

void frmSend::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    QTimer::singleShot(0, this, &frmSend::Form_Activate);
}

void frmSend::Form_Activate()
{
    if (!isVisible())
        return;
    if (m_host.editor().lfile.isEmpty()) {
        say(m_host.values().messages.noFile);
        close();
        return;
    }
    if (picker->isEmpty()) {
        say(QStringLiteral("Sorry, cannot find any current machines. You will be taken to the manage machines form now."));
        showManageMachines(m_host);
        close();
    }
}

bool frmSend::Form_QueryUnload() const
{
    return m_host.editor().Run;
}

void frmSend::closeEvent(QCloseEvent *event)
{
    if (Form_QueryUnload()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void frmSend::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmSend::say(const QString &text)
{
    m_host.prompts().message(this, text, m_host.values().brand.programTitle);
}

void frmSend::Command1_Click()
{
    showManageMachines(m_host);
    close();
}

// ---------------------------------------------------------------- the range fields

bool frmSend::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == StartLine || watched == EndLine) {
        if (event->type() == QEvent::KeyPress && !rangeKeyAccepted(static_cast<QKeyEvent *>(event))) {
            m_host.prompts().beep();
            return true;
        }
        if (event->type() == QEvent::FocusIn)
            LINE2LINE->setChecked(true);
    } else if (watched == RestartLine || watched == RestartPass) {
        if (event->type() == QEvent::KeyPress && !rangeKeyAccepted(static_cast<QKeyEvent *>(event))) {
            m_host.prompts().beep();
            return true;
        }
        if (event->type() == QEvent::FocusIn)
            RESTART->setChecked(true);
    } else if (watched == Label2 && event->type() == QEvent::MouseButtonRelease) {
        LINE2LINE->setChecked(true);
    }
    return QWidget::eventFilter(watched, event);
}

void frmSend::StartLine_Change()
{
    if (tools::startLineRefused(StartLine->text(), m_host.editor().numberOfLines())) {
        say(m_host.values().messages.badStart);
        StartLine->setText(QStringLiteral("1"));
    }
}

void frmSend::EndLine_Change()
{
    const int total = m_host.editor().numberOfLines();
    if (tools::endLineRefused(EndLine->text(), total)) {
        say(m_host.values().messages.badEnd);
        EndLine->setText(QString::number(total));
    }
}

// ---------------------------------------------------------------- sending

void frmSend::showSending(bool sending)
{
    cq->setVisible(sending);
    Command2->setVisible(sending);
    picker->m->setEnabled(!sending);
    if (!sending)
        Go->setText(kSendCaption);
}

void frmSend::Go_Click()
{
    // While sending, the button shows the percentage and starts nothing.
    if (m_transfer && m_transfer->running())
        return;
    TESSARC &editor = m_host.editor();
    const std::optional<MachineProfile> &profile = picker->profile();
    if (!profile) {
        say(QStringLiteral("You must select a machine to send to."));
        return;
    }
    const bool restart = RESTART->isChecked();
    std::optional<tools::LineRange> range;
    qint64 restartLine = 0;
    int restartPass = 1;
    if (restart) {
        bool lineOk = false, passOk = false;
        restartLine = RestartLine->text().toLongLong(&lineOk);
        restartPass = RestartPass->text().isEmpty() ? 1 : RestartPass->text().toInt(&passOk);
        passOk = passOk || RestartPass->text().isEmpty();
        if (!lineOk || restartLine < 1 || restartLine > editor.numberOfLines() || !passOk || restartPass < 1) {
            say(QStringLiteral("Start at Line needs a line of the program, from 1 to %1, and a pass from 1.").arg(editor.numberOfLines()));
            return;
        }
    } else {
        range = tools::checkRange({ALL->isChecked(), LINE2LINE->isChecked(), StartLine->text(), EndLine->text()},
                                  editor.numberOfLines());
        if (!range) {
            say(m_host.values().messages.textNull);
            return;
        }
    }
    editor.loadLine(editor.curLine);
    // A page the store refused (the control has said why) is not sent without its edits.
    if (!editor.pageIsStored())
        return;
    auto guard = std::make_unique<OperationGuard>(m_host);
    if (guard->refused())
        return;
    guard->lockView();
    m_guard = std::move(guard);
    showSending(true);
    m_transfer.reset();
    m_restart.reset();
    if (restart && !prepareRestart(*profile, restartLine, restartPass)) {
        showSending(false);
        m_guard.reset();
        return;
    }

    SendJob job;
    job.program = restart ? &m_restart->program() : &editor.program();
    job.first = restart ? 1 : range->first;
    job.last = restart ? m_restart->program().lineCount() : range->last;
    job.programFile = editor.lfile;
    job.percentFormat = m_host.values().numbers.percentFormat;
    m_transfer = std::make_unique<SendTransfer>(*profile, PortMap::read(m_host.settings()), job);
    m_transfer->setQuestions(this);
    connect(m_transfer.get(), &SendTransfer::progress, Go, &QPushButton::setText);
    connect(m_transfer.get(), &SendTransfer::finished, this, &frmSend::sendEnded);
    m_transfer->start();
}

bool frmSend::prepareRestart(const MachineProfile &profile, qint64 line, int pass)
{
    const tessarc::Program &program = m_host.editor().program();
    QString warning;
    const interp::MachineSetup machine = machineSetupFor(profile.name, m_host.settings(), warning);
    if (!warning.isEmpty())
        say(warning);
    interp::Setup setup;
    setup.dialect = machine.dialect;
    setup.subroutineFolder = QFileInfo(program.path).absolutePath();
    const qint64 lines = program.lineCount();
    tessarc::EventPump pump;
    m_planning = true;
    m_stopPlanning = false;
    Go->setText(QStringLiteral("0%"));
    pump.now();
    const interp::RestartPlan plan = planRestartOf(program, setup, machine, line, pass, [&](qint64 reached) {
        Go->setText(QStringLiteral("%1%").arg(lines > 0 ? std::min<qint64>(99, reached * 100 / lines) : 0));
        pump.maybe();
        return !m_stopPlanning;
    });
    m_planning = false;
    Go->setText(kSendCaption);
    if (m_stopPlanning)
        return false;
    if (!plan.ok) {
        say(QStringLiteral("No restart from line %1: %2.").arg(line).arg(plan.refusal));
        return false;
    }
    const QString shown = QStringLiteral("Send the restart from %1 to %2?\n\n%3\n\nThen the program's own lines from line %4 "
                                         "to its end (%5 moves, each found the same as the program's).")
                              .arg(plan.where, profile.name, QString::fromLatin1(plan.preamble.join('\n')))
                              .arg(line)
                              .arg(plan.movesCompared);
    RestartBoard &board = RestartBoard::of(m_host.mainWindow());
    board.show(plan); // the approach in the toolpath view while the question is open
    const bool agreed = m_host.prompts().ask(this, shown, QStringLiteral("Send"), Prompts::Buttons::YesNo) == Prompts::Answer::Yes;
    board.clear();
    if (!agreed)
        return false;
    m_restart = std::make_unique<RestartCopy>();
    if (const std::optional<QString> failure = m_restart->make(program, plan)) {
        m_restart.reset();
        say(QStringLiteral("The restart could not be made ready: %1.").arg(*failure));
        return false;
    }
    return true;
}

void frmSend::cq_Click()
{
    if (m_planning)
        m_stopPlanning = true;
    if (m_transfer)
        m_transfer->cancel();
}

void frmSend::Command2_Click()
{
    if (!m_transfer)
        return;
    const QPointer<frmSend> alive(this);
    m_asking = true;
    m_transfer->editOnTheFly();
    if (!alive)
        return;
    m_asking = false;
    if (m_closeWhenAsked)
        close();
}

std::optional<QString> frmSend::askFlyText(const QString &prompt, const QString &title)
{
    return m_host.prompts().input(this, prompt, title, QString());
}

// The send ended, whichever way: the port is closed, the lock given back, the page shown again and
// the view editable. A failure is told, and the window goes.
void frmSend::sendEnded(const TransferResult &result)
{
    showSending(false);
    m_guard.reset();
    if (result.outcome != TransferResult::Outcome::Failed)
        return;
    m_host.prompts().warning(this, QStringLiteral("ERROR"), result.message);
    if (m_asking)
        m_closeWhenAsked = true;
    else
        close();
}
