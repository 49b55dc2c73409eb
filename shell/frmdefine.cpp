#include "frmdefine.h"

#include "globalvar.h"
#include "host.h"
#include "prompts.h"
#include "tessarc.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kWindowItem = QStringLiteral("changedefinitions1");

} // namespace

frmDefine::frmDefine(Host &host) : QDialog(host.mainWindow()), m_host(host)
{
    setObjectName(QStringLiteral("frmDefine"));
    setWindowTitle(QStringLiteral("G-code Definitions"));
    host.applyIcon(this);
    Label1 = new QLabel(QStringLiteral("Current definitions:"), this);
    List1 = new QListWidget(this);
    Command1 = new QPushButton(QStringLiteral("Add"), this);
    Command2 = new QPushButton(QStringLiteral("Remove"), this);
    Label2 = new QLabel(QStringLiteral("You can also manually edit these definitions. They are stored in a file called "
                                       "\"g&mcode.txt\" found in the installation folder."),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    List1->setObjectName(QStringLiteral("List1"));
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2->setObjectName(QStringLiteral("Command2"));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setToolTip(QDir::toNativeSeparators(definitions::definitionsPath()));
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);
    List1->setMinimumSize(List1->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 44, 240);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    auto *row = new QHBoxLayout;
    row->addWidget(List1, 1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addStretch(1);
    row->addLayout(buttons);
    layout->addLayout(row, 1);
    layout->addWidget(Label2);

    connect(Command1, &QPushButton::clicked, this, &frmDefine::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmDefine::Command2_Click);

    // Load: a missing file is made with the default definitions.
    const QString title = host.values().brand.programTitle;
    if (!QFile::exists(definitions::definitionsPath()))
        host.prompts().message(this, QStringLiteral("Definition file not found.\r\nCreating file now."), title);
    if (const std::optional<QString> error = m_list.load())
        host.prompts().message(this, *error, title);
    showItems();
}

void frmDefine::showItems(int current)
{
    List1->clear();
    List1->addItems(m_list.items());
    if (current >= 0)
        List1->setCurrentRow(current);
}

void frmDefine::Command1_Click()
{
    Prompts &prompts = m_host.prompts();
    const QString code = definitions::DefinitionList::codeFor(
        prompts.input(this, QStringLiteral("Please enter the G-code you would like to create a definition for."),
                      QStringLiteral("G-code"), QString())
            .value_or(QString()));
    if (code.isEmpty())
        return;
    const std::optional<QString> meaning =
        prompts.input(this,
                      QStringLiteral("Please enter definition for ") + code +
                          QStringLiteral(". You can type \"newline\" to start a new line."),
                      QStringLiteral("Definition"), QString());
    if (const std::optional<QString> item = definitions::DefinitionList::itemFor(code, meaning.value_or(QString())))
        showItems(m_list.add(*item));
}

void frmDefine::Command2_Click()
{
    const int row = List1->currentRow();
    if (row < 0 || !List1->currentItem()->isSelected())
        return;
    m_list.remove(row);
    showItems();
}

void frmDefine::noteAdded(const QString &line)
{
    const QStringList fields = definitions::readFields(definitions::encode({line}));
    for (const QString &item : fields) {
        if (!m_list.items().contains(item))
            showItems(m_list.add(item));
    }
}

bool frmDefine::Form_QueryUnload()
{
    const std::optional<QString> error = m_list.save();
    if (!error)
        return true;
    // The list is still here: the machinist can free the file and close again, or let it go.
    return m_host.prompts().ask(this,
                                *error + QStringLiteral("\r\nClose anyway? The changes made in this window will be lost."),
                                m_host.values().brand.programTitle, Prompts::Buttons::YesNo) == Prompts::Answer::Yes;
}

void frmDefine::done(int result)
{
    // However the window is closed (its close box, Escape, the main window closing), the list is
    // written back first.
    if (!m_closing && !Form_QueryUnload())
        return;
    m_closing = true;
    QDialog::done(result);
}

void frmDefine::closeEvent(QCloseEvent *event)
{
    if (!m_closing && !Form_QueryUnload()) {
        event->ignore();
        return;
    }
    m_closing = true;
    QDialog::closeEvent(event);
}

void frmDefine::showEvent(QShowEvent *event)
{
    m_closing = false;
    QDialog::showEvent(event);
}

void defineSelectedText(Host &host)
{
    Prompts &prompts = host.prompts();
    QWidget *parent = host.mainWindow();
    const QString title = host.values().brand.programTitle;
    const QString path = definitions::definitionsPath();
    // With no file the window opens, which makes it; the lookup is not made.
    if (!QFile::exists(path)) {
        host.showWindow(kWindowItem);
        return;
    }
    const QString key = definitions::selectionKey(host.editor().getSel());
    if (key == QLatin1String(" ")) {
        prompts.message(parent,
                        QStringLiteral("No text is selected. You must select some text before I can find a definition for it."),
                        title);
        return;
    }
    const definitions::Lookup found = definitions::lookup(path, key);
    switch (found.status) {
    case definitions::Lookup::NoFile:
        host.showWindow(kWindowItem);
        return;
    case definitions::Lookup::Failed:
        prompts.message(parent, found.error, title);
        return;
    case definitions::Lookup::Found:
        prompts.message(parent, definitions::shownDefinition(found.definition), key);
        return;
    case definitions::Lookup::NotFound:
        break;
    }
    const QString offer = QStringLiteral("Sorry, no definition was found for ") + key + QStringLiteral(".\r\n") +
                          QStringLiteral("Did you know you can make your own definition file? Would you like to add a "
                                         "definition for ") +
                          key + QStringLiteral("now.");
    if (prompts.ask(parent, offer, QStringLiteral("No definition"), Prompts::Buttons::YesNo) != Prompts::Answer::Yes)
        return;
    const QString answer = prompts.input(parent,
                                         QStringLiteral("Please enter a definition for ") + key +
                                             QStringLiteral(". Use \"newline\" to represent a new line."),
                                         key, QString())
                               .value_or(QString());
    if (answer.isEmpty())
        return;
    const QString line = definitions::lookupLine(key, answer);
    if (const std::optional<QString> error = definitions::appendLine(path, line)) {
        prompts.message(parent, *error, title);
        return;
    }
    // An open window lists the new definition too, so writing its list back keeps it.
    if (auto *window = qobject_cast<frmDefine *>(host.showWindow(kWindowItem)))
        window->noteAdded(line);
}
