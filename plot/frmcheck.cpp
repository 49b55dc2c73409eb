#include "frmcheck.h"

#include "controlerror.h"
#include "eventpump.h"
#include "host.h"
#include "linesource.h"
#include "machinefolder.h"
#include "machinesetupfor.h"
#include "operation.h"
#include "program.h"
#include "prompts.h"
#include "tessarc.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmCheck::frmCheck(Host &host, QWidget *parent) : QWidget(parent ? parent : host.mainWindow(), Qt::Tool), m_host(host)
{
    setObjectName(QStringLiteral("frmCheck"));
    setWindowTitle(QStringLiteral("Check Program"));
    host.applyIcon(this);
    auto *column = new QVBoxLayout(this);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Machine:"), this));
    cboMachine = new QComboBox(this);
    cboMachine->setObjectName(QStringLiteral("cboMachine"));
    row->addWidget(cboMachine, 1);
    Go = new QPushButton(QStringLiteral("Go"), this);
    Go->setObjectName(QStringLiteral("Go"));
    row->addWidget(Go);
    column->addLayout(row);
    lstFindings = new QTreeWidget(this);
    lstFindings->setObjectName(QStringLiteral("lstFindings"));
    lstFindings->setHeaderLabels({QStringLiteral("Line"), QStringLiteral("Severity"), QStringLiteral("Reason")});
    lstFindings->setRootIsDecorated(false);
    lstFindings->setUniformRowHeights(true);
    lstFindings->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    lstFindings->setColumnWidth(0, 70);
    lstFindings->setColumnWidth(1, 70);
    column->addWidget(lstFindings, 3);
    txtSummary = new QPlainTextEdit(this);
    txtSummary->setObjectName(QStringLiteral("txtSummary"));
    txtSummary->setReadOnly(true);
    column->addWidget(txtSummary, 1);
    setMinimumSize(480, 360);
    resize(720, 520);
    Go->setDefault(true);

    connect(Go, &QPushButton::clicked, this, &frmCheck::Go_Click);
    connect(lstFindings, &QTreeWidget::itemActivated, this, &frmCheck::findingClicked);
    connect(lstFindings, &QTreeWidget::itemClicked, this, &frmCheck::findingClicked);
    TESSARC &editor = host.editor();
    connect(&editor.program(), &tessarc::Program::linesChanged, this, &frmCheck::programChanged);
    connect(&editor.program(), &tessarc::Program::loaded, this, &frmCheck::programChanged);
    connect(&editor, &TESSARC::caretLineChanged, this, [this](qint64 line) {
        const QString text = timeAtLine(line);
        if (!text.isEmpty())
            m_host.showNote(text);
    });
    Form_Load();
}

void frmCheck::Form_Load()
{
    const QString chosen = cboMachine->currentIndex() > 0 ? cboMachine->currentText() : comm::lastUsedMachine(m_host.settings());
    cboMachine->clear();
    cboMachine->addItem(QStringLiteral("(no machine)"));
    cboMachine->addItems(comm::MachineFolder::standard().names());
    const int at = chosen.isEmpty() ? -1 : cboMachine->findText(chosen);
    cboMachine->setCurrentIndex(at > 0 ? at : 0);
}

// Enter checks (or stops a check under way, as Go does); Escape stops a check under way, or else
// closes the window.
void frmCheck::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Go_Click();
        return;
    case Qt::Key_Escape:
        if (m_running)
            m_stop = true;
        else
            close();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void frmCheck::Go_Click()
{
    if (m_running) {
        m_stop = true;
        return;
    }
    TESSARC &editor = m_host.editor();
    tessarc::Program &program = editor.program();
    editor.loadLine(editor.curLine); // the page as typed, into the store
    const QString machineName = cboMachine->currentIndex() > 0 ? cboMachine->currentText() : QString();
    QString warning;
    const interp::MachineSetup machine = comm::machineSetupFor(machineName, m_host.settings(), warning);
    if (!warning.isEmpty())
        m_host.prompts().message(this, warning, windowTitle());

    OperationGuard guard(m_host, Go);
    if (guard.refused())
        return;
    guard.lockView();
    m_running = true;
    m_stop = false;
    interp::Setup setup;
    setup.dialect = machine.dialect;
    setup.subroutineFolder = QFileInfo(program.path).absolutePath();
    const qint64 lines = program.lineCount();
    tessarc::EventPump pump;
    Go->setText(QStringLiteral("Stop 0%"));
    pump.now(); // the window shows the check under way before the pass begins
    interp::CheckRun run;
    const std::optional<QString> failure = tessarc::failureOf([&] {
        interp::StoreLines source(program.store, program.recordLength, lines);
        run = interp::checkProgram(source, setup, machine, true, [&](qint64 line) {
            Go->setText(QStringLiteral("Stop %1%").arg(lines > 0 ? std::min<qint64>(99, line * 100 / lines) : 0));
            pump.maybe();
            return !m_stop;
        });
    });
    m_running = false;
    guard.release();
    if (failure) {
        m_host.prompts().message(this, QStringLiteral("The program could not be checked: %1").arg(*failure), windowTitle());
        return;
    }
    m_run = std::move(run);
    m_current = !m_run.cancelled;
    showRun(QFileInfo(program.path).fileName());
    if (m_current)
        m_host.showNote(QStringLiteral("Checked %1 lines: %2 error%3, %4 warning%5, %6.")
                            .arg(QLocale::c().toString(m_run.lines))
                            .arg(m_run.summary.errors)
                            .arg(m_run.summary.errors == 1 ? "" : "s")
                            .arg(m_run.summary.warnings)
                            .arg(m_run.summary.warnings == 1 ? "" : "s")
                            .arg(interp::clockText(m_run.summary.seconds)));
}

void frmCheck::showRun(const QString &programName)
{
    lstFindings->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(m_run.findings.size());
    for (const interp::Finding &f : m_run.findings) {
        auto *item = new QTreeWidgetItem({QString::number(f.line),
                                          f.severity == interp::Severity::Error ? QStringLiteral("error") : QStringLiteral("warning"), f.reason});
        item->setData(0, Qt::UserRole, f.line);
        item->setToolTip(2, f.reason);
        items.append(item);
    }
    lstFindings->addTopLevelItems(items);
    QStringList text = interp::summaryLines(programName.isEmpty() ? QStringLiteral("the program") : programName, m_run);
    if (m_run.cancelled)
        text.prepend(QStringLiteral("The check was stopped: what it found so far is listed."));
    txtSummary->setPlainText(text.join(QLatin1Char('\n')));
}

void frmCheck::findingClicked(QTreeWidgetItem *item)
{
    if (!item)
        return;
    m_host.editor().showLineWithCaret(item->data(0, Qt::UserRole).toLongLong());
}

void frmCheck::programChanged()
{
    if (!m_current)
        return;
    m_current = false;
    m_run.lineTimes.clear();
    txtSummary->appendPlainText(QStringLiteral("The program has changed since this check: check it again."));
}

QString frmCheck::timeAtLine(qint64 line) const
{
    if (!m_current || line < 1 || line >= static_cast<qint64>(m_run.lineTimes.size()))
        return QString();
    return QStringLiteral("line %1: %2 of %3")
        .arg(QLocale::c().toString(line), interp::clockText(m_run.lineTimes[static_cast<std::size_t>(line)]),
             interp::clockText(m_run.summary.seconds));
}

namespace plot {

void registerCheckWindow(Host &host)
{
    host.addWindow(
        QStringLiteral("checkprogram"), [](Host &h) -> QWidget * { return new frmCheck(h); },
        [&host](QWidget *window) {
            auto *check = static_cast<frmCheck *>(window);
            check->Form_Load();
            host.placeBesideText(check);
            check->show();
            check->raise();
        });
}

} // namespace plot
