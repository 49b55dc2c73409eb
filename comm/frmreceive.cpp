#include "frmreceive.h"

#include "capturefile.h"
#include "commwindows.h"
#include "eventpump.h"
#include "globalvar.h"
#include "host.h"
#include "machinepicker.h"
#include "operation.h"
#include "programcompare.h"
#include "prompts.h"
#include "tessarc.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace comm;

frmReceive::frmReceive(Host &host, QWidget *parent)
    : QWidget(parent ? parent : host.mainWindow(), Qt::Dialog), m_host(host)
{
    setObjectName(QStringLiteral("frmReceive"));
    setWindowTitle(QStringLiteral("Receive"));
    picker = new MachinePicker(host, this);
    Go = new QPushButton(QStringLiteral("&Receive"), this);
    Command2 = new QPushButton(QStringLiteral("When you are done receiving click here to select a file to save to."), this);
    lblProgress = new QLabel(QStringLiteral("0"), this);
    Go->setObjectName(QStringLiteral("Go"));
    Command2->setObjectName(QStringLiteral("Command2"));
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    Go->setDefault(true);
    Command2->setVisible(false);
    cmdCompare = new QPushButton(QStringLiteral("Compare With..."), this);
    cmdCompare->setObjectName(QStringLiteral("cmdCompare"));
    cmdCompare->setToolTip(QStringLiteral("Whether the capture is the program sent: compared as programs"));
    cmdCompare->setVisible(false);
    lblProgress->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblProgress->setMinimumWidth(lblProgress->fontMetrics().horizontalAdvance(QStringLiteral("000000000000")));
    auto *received = new QLabel(QStringLiteral("Characters received:"), this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(received);
    buttons->addWidget(lblProgress);
    buttons->addStretch(1);
    buttons->addWidget(Command2);
    buttons->addWidget(cmdCompare);
    buttons->addWidget(Go);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(picker, 1);
    outer->addLayout(buttons);

    connect(Go, &QPushButton::clicked, this, &frmReceive::Go_Click);
    connect(Command2, &QPushButton::clicked, this, &frmReceive::Command2_Click);
    connect(cmdCompare, &QPushButton::clicked, this, &frmReceive::cmdCompare_Click);
    connect(picker, &MachinePicker::manageMachines, this, &frmReceive::Command1_Click);
}

frmReceive::~frmReceive() = default;

void frmReceive::Form_Load()
{
    m_host.applyIcon(this);
    picker->fill();
    TESSARC &editor = m_host.editor();
    editor.loadLine(editor.curLine);
}

void frmReceive::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    QTimer::singleShot(0, this, &frmReceive::Form_Activate);
}

void frmReceive::Form_Activate()
{
    if (!isVisible() || !picker->isEmpty())
        return;
    say(QStringLiteral("Sorry, cannot find any current machines. You will be taken to the manage machines forum now."));
    showManageMachines(m_host);
    close();
}

bool frmReceive::Form_QueryUnload() const
{
    return m_host.editor().Run;
}

void frmReceive::closeEvent(QCloseEvent *event)
{
    if (Form_QueryUnload()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void frmReceive::say(const QString &text)
{
    m_host.prompts().message(this, text, m_host.values().brand.programTitle);
}

void frmReceive::Command1_Click()
{
    showManageMachines(m_host);
    close();
}

void frmReceive::Go_Click()
{
    const std::optional<MachineProfile> &profile = picker->profile();
    if (!profile) {
        say(QStringLiteral("You must select a machine to receive from."));
        return;
    }
    TESSARC &editor = m_host.editor();
    editor.loadLine(editor.curLine);
    auto guard = std::make_unique<OperationGuard>(m_host);
    if (guard->refused())
        return;
    // With no program open the view stays as it is: locked, with nothing to edit.
    if (!editor.lfile.isEmpty())
        guard->lockView();
    m_guard = std::move(guard);
    Go->setVisible(false);
    Command2->setVisible(true);
    picker->m->setEnabled(false);

    m_transfer = std::make_unique<ReceiveTransfer>(*profile, PortMap::read(m_host.settings()), capturePath());
    connect(m_transfer.get(), &ReceiveTransfer::progress, lblProgress,
            [this](qint64 written) { lblProgress->setText(QString::number(written)); });
    connect(m_transfer.get(), &ReceiveTransfer::finished, this, &frmReceive::receiveEnded);
    m_transfer->start();
}

void frmReceive::Command2_Click()
{
    if (m_transfer)
        m_transfer->stop();
}

// The capture ended: by the stop button, or by a port that failed or never opened. The capture
// file is complete and closed; what arrived is offered for saving even after a failure.
void frmReceive::receiveEnded(const TransferResult &result)
{
    Command2->setVisible(false);
    lblProgress->setText(QString::number(result.count));
    m_guard.reset();
    switch (result.outcome) {
    case TransferResult::Outcome::Failed:
        m_host.prompts().warning(this, QStringLiteral("ERROR"), result.message);
        if (result.count > 0)
            m_saved = saveCapture();
        break;
    case TransferResult::Outcome::NothingReceived:
        say(result.message);
        break;
    case TransferResult::Outcome::Done:
    case TransferResult::Outcome::Cancelled:
        m_saved = saveCapture();
        break;
    }
    if (m_saved.isEmpty()) {
        close();
        return;
    }
    cmdCompare->setVisible(true);
    cmdCompare->setDefault(true);
}

void frmReceive::cmdCompare_Click()
{
    TESSARC &editor = m_host.editor();
    const QString open = editor.lfile;
    const QString chosen =
        m_host.prompts().openFileName(this, open.isEmpty() ? QFileInfo(m_saved).absolutePath() : open);
    if (chosen.isEmpty())
        return;
    OperationGuard guard(m_host);
    if (guard.refused())
        return;
    const int recordLength = std::max(m_host.values().io.recLen, editor.program().recordLength);
    compare::LoadedFile capture, other;
    if (const std::optional<QString> failure = capture.load(m_saved, recordLength)) {
        guard.release();
        say(QStringLiteral("The capture %1 could not be read: %2").arg(m_saved, *failure));
        return;
    }
    // The open program as it stands, edits and all; another program from its file.
    const bool theOpenOne = !open.isEmpty() && QFileInfo(chosen).absoluteFilePath() == QFileInfo(open).absoluteFilePath();
    if (theOpenOne)
        editor.loadLine(editor.curLine);
    else if (const std::optional<QString> failure = other.load(chosen, recordLength)) {
        guard.release();
        say(QStringLiteral("%1 could not be read: %2").arg(chosen, *failure));
        return;
    }
    compare::Rules rules;
    rules.comments = m_host.values().comments.rule();
    rules.tolerance = m_host.values().compare.tolerance;
    compare::ProgramFeed program(theOpenOne ? editor.program() : other.program()), captured(capture.program());
    compare::Result result;
    tessarc::EventPump pump;
    const std::optional<QString> failure = tessarc::failureOf([&] {
        result = compare::comparePrograms(program, captured, rules, [&](qint64, qint64) {
            pump.maybe();
            return true;
        });
    });
    guard.release();
    if (failure) {
        say(QStringLiteral("The capture could not be compared: %1").arg(*failure));
        return;
    }
    say(compare::verdict(result, QFileInfo(chosen).fileName(), QStringLiteral("the capture %1").arg(QFileInfo(m_saved).fileName())));
}

QString frmReceive::saveCapture()
{
    const QString remembered = m_host.values().folders.lastDirSave;
    const QString folder = !remembered.contains(QChar(0)) && QFileInfo(remembered).isDir() ? remembered : QString();
    for (;;) {
        const QString target = m_host.prompts().saveFileName(this, folder);
        if (target.isEmpty())
            return QString();
        if (QFileInfo::exists(target) &&
            m_host.prompts().ask(this, QStringLiteral("Would you like to overwrite ") + target,
                                 QStringLiteral("File already exists."), Prompts::Buttons::YesNo) != Prompts::Answer::Yes)
            continue;
        // The old file is replaced only once the copy is whole; a copy that fails asks again.
        try {
            saveCaptureAs(m_transfer->capture(), target);
            return target;
        } catch (const ControlError &error) {
            m_host.prompts().warning(this, QStringLiteral("ERROR"), errorText(error));
        }
    }
}
