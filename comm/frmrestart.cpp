#include "frmrestart.h"

#include "eventpump.h"
#include "globalvar.h"
#include "host.h"
#include "machinefolder.h"
#include "machinesetupfor.h"
#include "operation.h"
#include "prompts.h"
#include "restartboard.h"
#include "restartprogram.h"
#include "tessarc.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace comm {

frmRestart::frmRestart(Host &host, QWidget *parent) : QWidget(parent ? parent : host.mainWindow(), Qt::Tool), m_host(host)
{
    setObjectName(QStringLiteral("frmRestart"));
    setWindowTitle(QStringLiteral("Restart Program"));
    host.applyIcon(this);
    auto *column = new QVBoxLayout(this);
    auto *row = new QHBoxLayout;
    txtLine = new QLineEdit(this);
    txtPass = new QLineEdit(QStringLiteral("1"), this);
    cboMachine = new QComboBox(this);
    cmdShow = new QPushButton(QStringLiteral("&Show"), this);
    txtLine->setObjectName(QStringLiteral("txtLine"));
    txtPass->setObjectName(QStringLiteral("txtPass"));
    cboMachine->setObjectName(QStringLiteral("cboMachine"));
    cboMachine->setMinimumContentsLength(14);
    cboMachine->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmdShow->setObjectName(QStringLiteral("cmdShow"));
    for (QLineEdit *field : {txtLine, txtPass}) {
        field->setAlignment(Qt::AlignRight);
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 12);
    }
    txtPass->setToolTip(QStringLiteral("Which run of the line, for a line in a loop or a subroutine"));
    row->addWidget(new QLabel(QStringLiteral("From line"), this));
    row->addWidget(txtLine);
    row->addWidget(new QLabel(QStringLiteral("pass"), this));
    row->addWidget(txtPass);
    row->addWidget(new QLabel(QStringLiteral("Machine:"), this));
    row->addWidget(cboMachine, 1);
    row->addWidget(cmdShow);
    column->addLayout(row);
    txtRestart = new QPlainTextEdit(this);
    txtRestart->setObjectName(QStringLiteral("txtRestart"));
    txtRestart->setReadOnly(true);
    txtRestart->setLineWrapMode(QPlainTextEdit::NoWrap);
    column->addWidget(txtRestart, 1);
    auto *buttons = new QHBoxLayout;
    cmdSave = new QPushButton(QStringLiteral("Save &As..."), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    auto *cmdClose = new QPushButton(QStringLiteral("Close"), this);
    buttons->addStretch(1);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);
    column->addLayout(buttons);
    cmdShow->setDefault(true);
    setMinimumSize(520, 380);
    resize(640, 520);

    connect(cmdShow, &QPushButton::clicked, this, [this] {
        if (m_running)
            m_stop = true;
        else
            cmdShow_Click();
    });
    connect(cmdSave, &QPushButton::clicked, this, &frmRestart::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(&host.editor().program(), &tessarc::Program::linesChanged, this, &frmRestart::programChanged);
    connect(&host.editor().program(), &tessarc::Program::loaded, this, &frmRestart::programChanged);
}

frmRestart::~frmRestart()
{
    RestartBoard::of(m_host.mainWindow()).clear();
}

void frmRestart::Form_Load()
{
    TESSARC &editor = m_host.editor();
    txtLine->setText(QString::number(std::max<qint64>(1, editor.curLine)));
    txtPass->setText(QStringLiteral("1"));
    const QString chosen = cboMachine->currentIndex() > 0 ? cboMachine->currentText() : lastUsedMachine(m_host.settings());
    cboMachine->clear();
    cboMachine->addItem(QStringLiteral("(no machine)"));
    cboMachine->addItems(MachineFolder::standard().names());
    const int at = chosen.isEmpty() ? -1 : cboMachine->findText(chosen);
    cboMachine->setCurrentIndex(at > 0 ? at : 0);
    m_madeFrom.clear();
    txtRestart->setPlainText(QStringLiteral("Show makes the restart from the line:\nthe state in force there, the machine's "
                                            "retract,\nthe approach to where the line starts,\nthen the program's own lines."));
    RestartBoard::of(m_host.mainWindow()).clear();
    if (!isVisible())
        m_host.placeBesideText(this);
}

QString frmRestart::request() const
{
    return txtLine->text() + QLatin1Char('/') + txtPass->text() + QLatin1Char('/') + cboMachine->currentText();
}

bool frmRestart::cmdShow_Click()
{
    TESSARC &editor = m_host.editor();
    tessarc::Program &program = editor.program();
    bool lineOk = false, passOk = false;
    const qint64 line = txtLine->text().toLongLong(&lineOk);
    const int pass = txtPass->text().toInt(&passOk);
    if (!lineOk || !passOk || line < 1 || line > program.lineCount() || pass < 1) {
        m_host.prompts().message(this, QStringLiteral("The restart needs a line of the program, from 1 to %1, and a pass from 1.")
                                           .arg(program.lineCount()),
                                 windowTitle());
        return false;
    }
    editor.loadLine(editor.curLine); // the page as typed, into the store
    const QString machineName = cboMachine->currentIndex() > 0 ? cboMachine->currentText() : QString();
    QString warning;
    const interp::MachineSetup machine = machineSetupFor(machineName, m_host.settings(), warning);
    if (!warning.isEmpty())
        m_host.prompts().message(this, warning, windowTitle());

    OperationGuard guard(m_host);
    if (guard.refused())
        return false;
    guard.lockView();
    m_running = true;
    m_stop = false;
    interp::Setup setup;
    setup.dialect = machine.dialect;
    setup.subroutineFolder = QFileInfo(program.path).absolutePath();
    const qint64 lines = program.lineCount();
    tessarc::EventPump pump;
    cmdShow->setText(QStringLiteral("Stop 0%"));
    pump.now();
    interp::RestartPlan plan = planRestartOf(program, setup, machine, line, pass, [&](qint64 reached) {
        cmdShow->setText(QStringLiteral("Stop %1%").arg(lines > 0 ? std::min<qint64>(99, reached * 100 / lines) : 0));
        pump.maybe();
        return !m_stop;
    });
    m_running = false;
    guard.release();
    cmdShow->setText(QStringLiteral("&Show"));
    m_plan = std::move(plan);
    RestartBoard &board = RestartBoard::of(m_host.mainWindow());
    if (!m_plan.ok) {
        m_madeFrom.clear();
        board.clear();
        txtRestart->setPlainText(QStringLiteral("No restart from line %1: %2.").arg(line).arg(m_plan.refusal));
        return false;
    }
    m_madeFrom = request();
    QStringList text = {QStringLiteral("(the restart from %1, for %2)").arg(m_plan.where, machineName.isEmpty() ? QStringLiteral("no machine in particular") : machineName)};
    for (const QByteArray &own : m_plan.preamble)
        text.append(QString::fromLatin1(own));
    text.append(QStringLiteral("(then lines %1 to the end, %2 moves, each the program's own)")
                    .arg(QLocale::c().toString(line), QLocale::c().toString(m_plan.movesCompared)));
    txtRestart->setPlainText(text.join(QLatin1Char('\n')));
    board.show(m_plan);
    return true;
}

void frmRestart::cmdSave_Click()
{
    if ((m_madeFrom.isEmpty() || m_madeFrom != request()) && !cmdShow_Click())
        return;
    tessarc::Program &program = m_host.editor().program();
    const QFileInfo source(program.path);
    const QString proposed = QStringLiteral("%1_from_%2%3").arg(source.completeBaseName()).arg(m_plan.line)
                                 .arg(source.suffix().isEmpty() ? QString() : QLatin1Char('.') + source.suffix());
    const QString folder = m_host.values().folders.lastDirSave.isEmpty() ? source.absolutePath() : m_host.values().folders.lastDirSave;
    const QString file = m_host.prompts().saveFileName(this, QDir(folder).filePath(proposed));
    if (file.isEmpty())
        return;
    OperationGuard guard(m_host);
    if (guard.refused())
        return;
    guard.lockView();
    tessarc::EventPump pump;
    const std::optional<QString> failure = saveRestart(program, m_plan, file, [&](qint64, qint64) {
        pump.maybe();
        return true;
    });
    guard.release();
    if (failure) {
        m_host.prompts().message(this, QStringLiteral("The restart program was not saved to %1: %2.").arg(file, *failure), windowTitle());
        return;
    }
    m_host.values().folders.lastDirSave = QFileInfo(file).absolutePath();
    m_host.showNote(QStringLiteral("Saved the restart from %1 to %2.").arg(m_plan.where, QFileInfo(file).fileName()));
}

void frmRestart::programChanged()
{
    if (m_madeFrom.isEmpty())
        return;
    m_madeFrom.clear();
    RestartBoard::of(m_host.mainWindow()).clear();
    txtRestart->appendPlainText(QStringLiteral("The program has changed since this restart was made: Show makes it again."));
}

void frmRestart::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void frmRestart::hideEvent(QHideEvent *event)
{
    // A restart no longer shown is no longer drawn.
    RestartBoard::of(m_host.mainWindow()).clear();
    QWidget::hideEvent(event);
}

void frmRestart::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace comm
