#include "machinepicker.h"

#include "listchoice.h"
#include "globalvar.h"
#include "host.h"
#include "prompts.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace comm {

MachinePicker::MachinePicker(Host &host, QWidget *parent)
    : QWidget(parent), m_host(host), m_folder(MachineFolder::standard())
{
    setObjectName(QStringLiteral("machinePicker"));
    Label1 = new QLabel(QStringLiteral("Select machine you would like to communicate with:"), this);
    m = new QListWidget(this);
    MachineSpec = new QLabel(this);
    Label3 = new QLabel(this);
    Text1 = new QPlainTextEdit(this);
    Command1 = new QPushButton(QStringLiteral("&Manage Machines"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    m->setObjectName(QStringLiteral("m"));
    MachineSpec->setObjectName(QStringLiteral("MachineSpec"));
    Label3->setObjectName(QStringLiteral("Label3"));
    Text1->setObjectName(QStringLiteral("Text1"));
    Command1->setObjectName(QStringLiteral("Command1"));
    Label1->setBuddy(m);

    const int textWidth = fontMetrics().horizontalAdvance(QStringLiteral("Special Beginning of File: (STX)(CR)(LF)"));
    m->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Machine name long")) + 24);
    MachineSpec->setMinimumWidth(textWidth);
    MachineSpec->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    MachineSpec->setTextInteractionFlags(Qt::TextSelectableByMouse);
    MachineSpec->setMinimumHeight(fontMetrics().lineSpacing() * 10 + 4);
    // The comments are the machine's, kept by Manage Machines; here they are read.
    Text1->setReadOnly(true);
    Text1->setMaximumHeight(fontMetrics().lineSpacing() * 4 + 12);
    Text1->setTabChangesFocus(true);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(m, 1, 0, 3, 1);
    grid->addWidget(MachineSpec, 1, 1);
    grid->addWidget(Label3, 2, 1);
    grid->addWidget(Text1, 3, 1);
    grid->addWidget(Command1, 4, 0, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);

    // A machine is chosen by selecting it (the list's current item alone is no choice); a click on
    // the machine already chosen reads its profile again, so a change made meanwhile is what is used.
    connect(m, &QListWidget::itemSelectionChanged, this, [this]() {
        if (!chosenItem(m))
            clearShown();
        else if (QApplication::mouseButtons() == Qt::NoButton) // a click reads it once it is made
            m_Click();
    });
    connect(m, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (item == chosenItem(m))
            m_Click();
    });
    connect(Command1, &QPushButton::clicked, this, &MachinePicker::manageMachines);
}

bool MachinePicker::isEmpty() const
{
    return m->count() == 0;
}

void MachinePicker::refresh()
{
    m_filling = true;
    m->clear();
    m->addItems(m_folder.names());
    m_filling = false;
}

void MachinePicker::fill()
{
    refresh();
    const QString last = lastUsedMachine(m_host.settings());
    if (last.isEmpty())
        return;
    const QList<QListWidgetItem *> found = m->findItems(last, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (!found.isEmpty())
        m->setCurrentItem(found.first());
}

void MachinePicker::clearShown()
{
    m_profile.reset();
    MachineSpec->clear();
    Label3->clear();
    Text1->clear();
}

void MachinePicker::m_Click()
{
    if (m_filling || !chosenItem(m))
        return;
    const QString name = chosenItem(m)->text();
    auto say = [this](const QString &text) {
        m_host.prompts().message(window(), text, m_host.values().brand.programTitle);
    };
    MachineProfile profile;
    try {
        profile = m_folder.read(name);
    } catch (const ControlError &error) {
        clearShown();
        if (error.number() == ControlError::FileNotFound) {
            say(error.description());
            refresh();
        } else {
            say(errorText(error));
        }
        return;
    }
    if (const std::optional<QString> problem = profileProblem(profile)) {
        clearShown();
        say(*problem + QStringLiteral(" Correct it in Manage Machines."));
        return;
    }
    m_profile = profile;
    MachineSpec->setText(profileSummary(profile));
    Label3->setText(QStringLiteral("Comments for ") + profile.name + QStringLiteral(":"));
    Text1->setPlainText(profile.comments);
    rememberMachine(m_host.settings(), profile.name);
}

} // namespace comm
