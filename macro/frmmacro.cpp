#include "frmmacro.h"

#include "listchoice.h"
#include "frmmacroname.h"
#include "fromsets.h"
#include "globalvar.h"
#include "host.h"
#include "prompts.h"
#include "stepfields.h"
#include "stepwindows.h"
#include "toolwindow.h"

#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

template <class W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

const QString kChooseFirst = QStringLiteral("Please choose a macro in the list first.");

} // namespace

frmMacro::frmMacro(Host &host) : QWidget(host.mainWindow(), Qt::Tool), m_host(host)
{
    setWindowTitle(QStringLiteral("Create/ Edit Macro"));

    Label1 = named(new QLabel(QStringLiteral("Current Macros:           (Click To Edit)"), this), "Label1");
    c = named(new QListWidget(this), "c");
    Label4 = named(new QLabel(QStringLiteral("0 macros"), this), "Label4");
    Command1 = named(new QPushButton(QStringLiteral("Add"), this), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("Remove"), this), "Command2");
    Command6 = named(new QPushButton(QStringLiteral("Create Backup"), this), "Command6");
    Label5 = named(new QLabel(this), "Label5");
    Label2 = named(new QLabel(QStringLiteral("Macro Instructions:"), this), "Label2");
    commands = named(new QListWidget(this), "commands");
    Command3 = named(new QPushButton(QStringLiteral("Add"), this), "Command3");
    Command4 = named(new QPushButton(QStringLiteral("Remove"), this), "Command4");
    Command7 = named(new QPushButton(QStringLiteral("Up"), this), "Command7");
    Command8 = named(new QPushButton(QStringLiteral("Down"), this), "Command8");
    Command5 = named(new QPushButton(QStringLiteral("Copy With Options"), this), "Command5");
    Command9 = named(new QPushButton(QStringLiteral("Test"), this), "Command9");
    Label3 = named(new QLabel(QStringLiteral("Select a command and then use these Up and Down buttons to change the order."),
                              this),
                   "Label3");
    Label3->setWordWrap(true);
    QFont bold = Label5->font();
    bold.setBold(true);
    Label5->setFont(bold);

    auto *macros = new QVBoxLayout;
    macros->addWidget(Label1);
    macros->addWidget(c, 1);
    macros->addWidget(Label4);
    auto *macroButtons = new QHBoxLayout;
    macroButtons->addWidget(Command1);
    macroButtons->addWidget(Command2);
    macroButtons->addWidget(Command6);
    macros->addLayout(macroButtons);

    auto *steps = new QVBoxLayout;
    steps->addWidget(Label5);
    steps->addWidget(Label2);
    auto *stepRow = new QHBoxLayout;
    stepRow->addWidget(commands, 1);
    auto *order = new QVBoxLayout;
    order->addWidget(Command7);
    order->addWidget(Command8);
    order->addStretch(1);
    stepRow->addLayout(order);
    steps->addLayout(stepRow, 1);
    steps->addWidget(Label3);
    auto *stepButtons = new QHBoxLayout;
    stepButtons->addWidget(Command3);
    stepButtons->addWidget(Command4);
    stepButtons->addWidget(Command5);
    stepButtons->addWidget(Command9);
    steps->addLayout(stepButtons);

    auto *outer = new QHBoxLayout(this);
    outer->addLayout(macros, 2);
    outer->addLayout(steps, 3);
    resize(720, 380);

    connect(c, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { c_Click(item->text()); });
    connect(c, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) { c_Click(item->text()); });
    connect(Command1, &QPushButton::clicked, this, &frmMacro::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMacro::Command2_Click);
    connect(Command6, &QPushButton::clicked, this, &frmMacro::Command6_Click);
    connect(Command3, &QPushButton::clicked, this, &frmMacro::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmMacro::Command4_Click);
    connect(Command7, &QPushButton::clicked, this, &frmMacro::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &frmMacro::Command8_Click);
    connect(Command5, &QPushButton::clicked, this, &frmMacro::Command5_Click);
    connect(Command9, &QPushButton::clicked, this, &frmMacro::Command9_Click);
}

frmMacro::~frmMacro() = default;

QString frmMacro::folder() const
{
    return macro::macroFolder();
}

void frmMacro::say(const QString &text, const QString &title)
{
    m_host.prompts().message(this, text, title.isEmpty() ? m_host.values().brand.programTitle : title);
}

void frmMacro::Form_Load()
{
    m_host.applyIcon(this);
    m_macro.clear();
    m_steps.clear();
    Label5->clear();
    commands->clear();
    refreshList();
}

void frmMacro::refreshList()
{
    const QStringList names = macro::macroNames(folder());
    c->clear();
    c->addItems(names);
    Label4->setText(QStringLiteral("%1 macros").arg(names.size()));
    // The macro being edited stays chosen while it is there; once gone, nothing is edited.
    const qsizetype row = m_macro.isEmpty() ? -1 : names.indexOf(m_macro);
    if (row >= 0) {
        c->setCurrentRow(static_cast<int>(row));
    } else if (!m_macro.isEmpty()) {
        m_macro.clear();
        m_steps.clear();
        Label5->clear();
        commands->clear();
    }
}

void frmMacro::c_Click(const QString &name)
{
    const QString path = macro::macroPath(folder(), name);
    if (!QFileInfo(path).isFile()) {
        say(QStringLiteral("Macro does not exist."));
        m_macro.clear();
        refreshList();
        return;
    }
    m_macro = name;
    Label5->setText(name);
    const macro::DecodedMacro read = macro::readMacro(path);
    m_steps = read.steps;
    showSteps();
    if (!read.ok())
        say(read.error);
}

void frmMacro::showSteps()
{
    commands->clear();
    for (const macro::MacroStep &step : std::as_const(m_steps))
        commands->addItem(step.stepType + QStringLiteral(" (") + step.comment + QLatin1Char(')'));
    commands->setCurrentRow(-1);
}

int frmMacro::chosenStep() const
{
    const QList<QListWidgetItem *> chosen = commands->selectedItems();
    if (chosen.isEmpty())
        return -1;
    const int row = commands->row(chosen.first());
    return row < m_steps.size() ? row : -1;
}

std::optional<QList<macro::MacroStep>> frmMacro::readChosen()
{
    const QString path = macro::macroPath(folder(), m_macro);
    if (!QFileInfo(path).isFile()) {
        say(QStringLiteral("Macro does not exist."));
        m_macro.clear();
        refreshList();
        return std::nullopt;
    }
    const macro::DecodedMacro read = macro::readMacro(path);
    if (!read.ok()) {
        // A damaged file is not written over: what it still holds beyond the damage is kept.
        say(read.error + QStringLiteral(" The macro was not changed."));
        return std::nullopt;
    }
    return read.steps;
}

void frmMacro::rewrite(const std::function<void(QList<macro::MacroStep> &)> &change)
{
    // The file is read again first: a damaged one is refused as adding a step refuses it, and
    // one changed elsewhere is shown again before a row of it is moved.
    std::optional<QList<macro::MacroStep>> steps = readChosen();
    if (!steps)
        return;
    if (*steps != m_steps) {
        say(QStringLiteral("The macro %1 was changed outside this window; its steps are shown again.").arg(m_macro));
        c_Click(m_macro);
        return;
    }
    change(*steps);
    if (const std::optional<QString> failure = macro::writeMacro(macro::macroPath(folder(), m_macro), *steps))
        say(*failure);
    c_Click(m_macro);
}

// ---------------------------------------------------------------- the macros

void frmMacro::Command1_Click()
{
    const std::optional<QString> answer =
        m_host.prompts().input(this, QStringLiteral("Please enter a name for your macro."), QStringLiteral("Name"), QString());
    if (!answer || answer->isEmpty())
        return;
    const QString name = *answer;
    if (const std::optional<QString> refusal = macro::macroNameRefused(name)) {
        say(*refusal);
        return;
    }
    const QString path = macro::macroPath(folder(), name);
    if (QFileInfo::exists(path) &&
        m_host.prompts().ask(this, QStringLiteral("There is a macro already with that name. Would you like to overwrite?"),
                             QStringLiteral("Error"), Prompts::Buttons::YesNo) != Prompts::Answer::Yes)
        return;
    if (const std::optional<QString> failure = macro::writeMacro(path, {}))
        say(*failure);
    if (name == m_macro)
        c_Click(m_macro);
    refreshList();
}

void frmMacro::Command2_Click()
{
    QListWidgetItem *item = chosenItem(c);
    if (!item) {
        say(kChooseFirst);
        return;
    }
    const QString name = item->text();
    if (m_host.prompts().ask(this, QStringLiteral("Are you sure you would like to remove ") + name + QLatin1Char('?'),
                             QStringLiteral("Confirm Delete"), Prompts::Buttons::YesNo) == Prompts::Answer::Yes) {
        QFile file(macro::macroPath(folder(), name));
        if (file.exists() && !file.remove())
            say(QStringLiteral("The macro %1 could not be removed: %2.").arg(name, file.errorString()));
    }
    refreshList();
}

void frmMacro::Command6_Click()
{
    QListWidgetItem *item = chosenItem(c);
    if (!item) {
        say(kChooseFirst);
        return;
    }
    const QString name = item->text();
    const std::optional<QString> answer =
        m_host.prompts().input(this, QStringLiteral("Please enter a name for your backup of ") + name + QLatin1Char('.'),
                               QStringLiteral("Backup Name"), QString());
    if (!answer || answer->isEmpty())
        return;
    if (*answer == name) {
        say(QStringLiteral("A backup of %1 needs a name of its own; %1 was not changed.").arg(name));
        return;
    }
    if (const std::optional<QString> refusal = macro::macroNameRefused(*answer)) {
        say(*refusal);
        return;
    }
    if (const std::optional<QString> failure =
            macro::copyMacro(macro::macroPath(folder(), name), macro::macroPath(folder(), *answer)))
        say(*failure);
    if (*answer == m_macro)
        c_Click(m_macro);
    refreshList();
}

// ---------------------------------------------------------------- the steps

void frmMacro::Command3_Click()
{
    if (m_macro.isEmpty()) {
        say(QStringLiteral("Please choose the macro the step is for in the list first."));
        return;
    }
    auto *types = new frmMacroName(*this);
    types->setAttribute(Qt::WA_DeleteOnClose);
    m_host.applyIcon(types);
    // Beside the text and ready for the keys, as every tool window opens.
    m_host.placeBesideText(types);
    types->show();
    types->raise();
    types->activateWindow();
}

tools::ToolWindow *frmMacro::recordStep(const QString &stepName)
{
    const macro::StepWindow *entry = macro::stepWindow(stepName);
    if (!entry)
        return nullptr;
    tools::ToolWindow *window = entry->make(m_host, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Beside the text and with the keys, as its menu item shows it: what the machinist types
    // next is for its fields, never for the program.
    m_host.placeBesideText(window);
    window->Form_Load();
    window->raise();
    window->activateWindow();
    return window;
}

void frmMacro::addStep(const QString &name, const QString &settings)
{
    if (m_macro.isEmpty()) {
        say(QStringLiteral("The %1 step was not added: no macro is chosen in the list. Please choose one, then press "
                           "Go again.")
                .arg(name));
        keepRecorderOpen(name, settings);
        return;
    }
    if (const std::optional<QString> refusal = tools::stepRefused(name, settings, m_host.values().brand.stepSeparator)) {
        say(*refusal);
        keepRecorderOpen(name, settings);
        return;
    }
    const std::optional<QString> comment =
        m_host.prompts().input(this, QStringLiteral("Please enter any comments you might have for this macro."),
                               QStringLiteral("Comments for ") + name, QString());
    std::optional<QList<macro::MacroStep>> steps = readChosen();
    if (!steps) {
        keepRecorderOpen(name, settings);
        return;
    }
    steps->append({name, comment.value_or(QString()), settings});
    if (const std::optional<QString> failure = macro::writeMacro(macro::macroPath(folder(), m_macro), *steps)) {
        say(*failure);
        keepRecorderOpen(name, settings);
    }
    c_Click(m_macro);
}

void frmMacro::keepRecorderOpen(const QString &name, const QString &settings)
{
    // The tool window closes once it has handed its step in; a fresh one takes its place.
    QTimer::singleShot(0, this, [this, name, settings] {
        if (!tools::readStep(name, settings, m_host.values().brand.stepSeparator).ok())
            return;
        if (tools::ToolWindow *window = recordStep(name))
            fromSets::fill(*window, name, settings, m_host.values().brand.stepSeparator);
    });
}

void frmMacro::Command4_Click()
{
    const int row = chosenStep();
    if (row < 0)
        return;
    rewrite([row](QList<macro::MacroStep> &steps) { steps.removeAt(row); });
}

void frmMacro::Command7_Click()
{
    const int row = chosenStep();
    if (row <= 0)
        return;
    rewrite([row](QList<macro::MacroStep> &steps) { steps.swapItemsAt(row, row - 1); });
}

void frmMacro::Command8_Click()
{
    const int row = chosenStep();
    if (row < 0 || row + 1 >= m_steps.size())
        return;
    rewrite([row](QList<macro::MacroStep> &steps) { steps.swapItemsAt(row, row + 1); });
}

bool frmMacro::fillFromChosen(tools::ToolWindow &window)
{
    const macro::MacroStep &step = m_steps.at(chosenStep());
    const fromSets::Filled filled = fromSets::fill(window, step.stepType, step.stepSettings, m_host.values().brand.stepSeparator);
    if (!filled.ok()) {
        say(filled.error);
        return false;
    }
    return true;
}

void frmMacro::Command5_Click()
{
    const int row = chosenStep();
    if (row < 0)
        return;
    QPointer<tools::ToolWindow> window = recordStep(m_steps.at(row).stepType);
    if (!window) {
        say(QStringLiteral("There is no %1 tool here to record the step with.").arg(m_steps.at(row).stepType));
        return;
    }
    if (!fillFromChosen(*window))
        window->close();
}

void frmMacro::Command9_Click()
{
    const int row = chosenStep();
    if (row < 0)
        return;
    const macro::StepWindow *entry = macro::stepWindow(m_steps.at(row).stepType);
    if (!entry) {
        say(QStringLiteral("There is no %1 tool here to try the step with.").arg(m_steps.at(row).stepType));
        return;
    }
    // The tool's own window, as its menu item shows it: Go runs it on the open program.
    auto *window = qobject_cast<tools::ToolWindow *>(m_host.showWindow(QString::fromLatin1(entry->menuItem)));
    if (!window) {
        window = entry->make(m_host, nullptr);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->Form_Load();
    }
    if (!fillFromChosen(*window))
        return;
    window->raise();
    window->activateWindow();
}
