#include "frmsend.h"

#include "commwindows.h"
#include "globalvar.h"
#include "host.h"
#include "linerange.h"
#include "machinepicker.h"
#include "operation.h"
#include "prompts.h"
#include "tessarc.h"

#include <QCloseEvent>
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
    ALL->setChecked(true);
    for (QLineEdit *field : {StartLine, EndLine}) {
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
    setTabOrder(EndLine, Go);
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
    const std::optional<tools::LineRange> range = tools::checkRange(
        {ALL->isChecked(), LINE2LINE->isChecked(), StartLine->text(), EndLine->text()}, editor.numberOfLines());
    if (!range) {
        say(m_host.values().messages.textNull);
        return;
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

    SendJob job;
    job.program = &editor.program();
    job.first = range->first;
    job.last = range->last;
    job.programFile = editor.lfile;
    job.percentFormat = m_host.values().numbers.percentFormat;
    m_transfer = std::make_unique<SendTransfer>(*profile, PortMap::read(m_host.settings()), job);
    m_transfer->setQuestions(this);
    connect(m_transfer.get(), &SendTransfer::progress, Go, &QPushButton::setText);
    connect(m_transfer.get(), &SendTransfer::finished, this, &frmSend::sendEnded);
    m_transfer->start();
}

void frmSend::cq_Click()
{
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
