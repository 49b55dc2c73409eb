#include "frmmacrorun.h"

#include "listchoice.h"
#include "globalvar.h"
#include "host.h"
#include "macrofile.h"
#include "prompts.h"
#include "tessarc.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

frmMacroRun::frmMacroRun(Host &host) : QWidget(host.mainWindow(), Qt::Tool), m_host(host), m_runner(host, this)
{
    setWindowTitle(QStringLiteral("Run Macro"));
    Label1 = new QLabel(QStringLiteral("Current Macros:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    c = new QListWidget(this);
    c->setObjectName(QStringLiteral("c"));
    Label4 = new QLabel(QStringLiteral("0 macros"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label2 = new QLabel(QStringLiteral("Running Macro"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    Label2->hide();
    Command1 = new QPushButton(QStringLiteral("Run Now"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(c, 1);
    layout->addWidget(Label2, 1);
    layout->addWidget(Label4);
    layout->addWidget(Command1);
    resize(320, 340);

    connect(Command1, &QPushButton::clicked, this, &frmMacroRun::Command1_Click);
    connect(&m_runner, &macro::MacroRunner::stepStarted, this, [this](int number, int count) {
        Command1->setText(QStringLiteral("%1/%2 Running ").arg(number).arg(count) + m_running);
    });
}

frmMacroRun::~frmMacroRun() = default;

void frmMacroRun::say(const QString &text)
{
    m_host.prompts().message(this, text, m_host.values().brand.programTitle);
}

void frmMacroRun::Form_Load()
{
    m_host.applyIcon(this);
    const QString chosen = chosenItem(c) ? chosenItem(c)->text() : QString();
    const QStringList names = macro::macroNames(macro::macroFolder());
    c->clear();
    c->addItems(names);
    Label4->setText(QStringLiteral("%1 macros").arg(names.size()));
    if (const qsizetype row = names.indexOf(chosen); row >= 0)
        c->setCurrentRow(static_cast<int>(row));
}

void frmMacroRun::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            Command1->click();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            close();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void frmMacroRun::Command1_Click()
{
    if (!m_running.isEmpty())
        return;
    QListWidgetItem *item = chosenItem(c);
    if (!item) {
        say(QStringLiteral("Please choose the macro to run in the list first."));
        return;
    }
    const QString name = item->text();
    const QString path = macro::macroPath(macro::macroFolder(), name);
    if (!QFileInfo(path).isFile()) {
        say(QStringLiteral("Macro does not exist."));
        Form_Load();
        return;
    }
    const macro::DecodedMacro read = macro::readMacro(path);
    if (!read.ok()) {
        // A damaged macro runs no step at all: its later steps may depend on the lost ones.
        say(read.error + QStringLiteral(" Nothing was run."));
        return;
    }
    if (read.steps.isEmpty())
        return;

    m_running = name;
    Command1->setText(QStringLiteral("Running ") + name);
    c->hide();
    Label2->show();
    const auto idle = qScopeGuard([this] {
        m_running.clear();
        Label2->hide();
        c->show();
        Command1->setText(QStringLiteral("Run Now"));
    });
    const macro::RunResult result = m_runner.run(read.steps);
    if (!result.started)
        return;
    Label2->hide();
    c->show();
    QString report = macro::reportText(name, result.startedAt, result.endedAt, result.ms, result.runLog());
    if (result.stopped)
        report += QStringLiteral("\r\nThe run was stopped before its last step.");
    m_host.prompts().message(this, report, m_host.values().brand.productName + QStringLiteral(" MACRO"));
}

void frmMacroRun::closeEvent(QCloseEvent *event)
{
    // A running macro keeps its window, as a running tool does.
    if (!m_running.isEmpty() || m_host.editor().Run) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
