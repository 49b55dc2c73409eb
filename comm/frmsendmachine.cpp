#include "frmsendmachine.h"

#include "frmmachinesetup.h"
#include "listchoice.h"
#include "globalvar.h"
#include "host.h"
#include "linesettings.h"
#include "prompts.h"
#include "settingsstore.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace comm;

namespace {

// An option of a group: its object name, its caption and the value it stands for.
struct Option
{
    QString name;
    QString caption;
    QString value;
};

QList<Option> options(std::initializer_list<const char *> triples)
{
    QList<Option> list;
    for (auto it = triples.begin(); it != triples.end(); it += 3)
        list.append({QString::fromLatin1(it[0]), QString::fromLatin1(it[1]), QString::fromLatin1(it[2])});
    return list;
}

QList<Option> baudOptions()
{
    QList<Option> list;
    for (qint32 rate : profileBaudRates())
        list.append({QStringLiteral("b%1").arg(rate), QString::number(rate), QString::number(rate)});
    return list;
}

const char *const kValue = "optionValue";

template <class W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A framed group of exclusive options, laid out in `columns` columns.
QGroupBox *optionGroup(QWidget *parent, const QString &title, const QList<Option> &list, int columns,
                       QList<QRadioButton *> &buttons)
{
    auto *box = new QGroupBox(title, parent);
    auto *grid = new QGridLayout(box);
    auto *group = new QButtonGroup(box);
    const qsizetype rows = (list.size() + columns - 1) / columns;
    for (qsizetype i = 0; i < list.size(); ++i) {
        auto *option = new QRadioButton(list[i].caption, box);
        option->setObjectName(list[i].name);
        option->setProperty(kValue, list[i].value);
        group->addButton(option);
        grid->addWidget(option, static_cast<int>(i % rows), static_cast<int>(i / rows));
        buttons.append(option);
    }
    return box;
}

// The value of the chosen option of a group, "" when none is chosen.
QString chosen(const QList<QRadioButton *> &group)
{
    for (const QRadioButton *option : group) {
        if (option->isChecked())
            return option->property(kValue).toString();
    }
    return QString();
}

// Chooses the option of a group that stands for `value`; no such option changes nothing.
void choose(const QList<QRadioButton *> &group, const QString &value)
{
    for (QRadioButton *option : group) {
        if (option->property(kValue).toString() == value) {
            option->setChecked(true);
            return;
        }
    }
}

} // namespace

frmSendMachine::frmSendMachine(Host &host, QWidget *parent)
    : QWidget(parent ? parent : host.mainWindow(), Qt::Dialog), m_host(host), m_folder(MachineFolder::standard()),
      m_ports(PortMap::read(host.settings()))
{
    setObjectName(QStringLiteral("frmSendMachine"));
    setWindowTitle(QStringLiteral("Manage Machines"));
    // The machine list and its commands.
    Label1 = named(new QLabel(QStringLiteral("Current Machines:"), this), "Label1");
    m = named(new QListWidget(this), "m");
    Command1 = named(new QPushButton(QStringLiteral("&Add New"), this), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("&Remove"), this), "Command2");
    Command3 = named(new QPushButton(QStringLiteral("&Update Changes"), this), "Command3");
    Command4 = named(new QPushButton(QStringLiteral("Tips for using special characters"), this), "Command4");
    Label1->setBuddy(m);
    Command3->setVisible(false);
    cmdSetup = named(new QPushButton(QStringLiteral("&Setup..."), this), "cmdSetup");
    cmdSetup->setToolTip(QStringLiteral("The machine's dialect, travel, rates and tool change."));
    cmdSetup->setEnabled(false);
    auto *left = new QVBoxLayout;
    left->addWidget(Label1);
    left->addWidget(m, 1);
    auto *addRemove = new QHBoxLayout;
    addRemove->addWidget(Command1);
    addRemove->addWidget(Command2);
    left->addLayout(addRemove);
    left->addWidget(Command3);
    left->addWidget(cmdSetup);
    left->addWidget(Command4);

    // The profile.
    txtName = named(new QLineEdit(this), "txtName");
    txtComments = named(new QLineEdit(this), "txtComments");
    auto *names = new QFormLayout;
    names->addRow(QStringLiteral("Name: "), txtName);
    names->addRow(QStringLiteral("Comments: "), txtComments);

    auto *comBox = named(new QGroupBox(QStringLiteral("Com Port"), this), "frameCom");
    txtCom = named(new QLineEdit(comBox), "txtCom");
    txtCom->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
    cboDevice = named(new QComboBox(comBox), "cboDevice");
    cboDevice->setEditable(true);
    cboDevice->setInsertPolicy(QComboBox::NoInsert);
    cboDevice->setMinimumContentsLength(16);
    cboDevice->setToolTip(QStringLiteral("The device this COM number opens: a port of this computer, or any path typed."));
    for (const SystemPort &port : systemPorts()) {
        cboDevice->addItem(port.device);
        cboDevice->setItemData(cboDevice->count() - 1, port.description, Qt::ToolTipRole);
    }
    auto *comGrid = new QGridLayout(comBox);
    comGrid->addWidget(new QLabel(QStringLiteral("COM"), comBox), 0, 0);
    comGrid->addWidget(txtCom, 0, 1);
    auto *deviceLabel = new QLabel(QStringLiteral("&Device:"), comBox);
    deviceLabel->setBuddy(cboDevice);
    comGrid->addWidget(deviceLabel, 0, 2);
    comGrid->addWidget(cboDevice, 0, 3);
    comGrid->setColumnStretch(3, 1);

    QGroupBox *baudBox = optionGroup(this, QStringLiteral("Baud Rate"), baudOptions(), 2, baud);
    QGroupBox *parityBox = optionGroup(this, QStringLiteral("Parity"),
                                       options({"pE", "Even", "E", "pM", "Mark", "M", "pN", "None", "N", "pO", "Odd",
                                                "O", "pS", "Space", "S"}),
                                       1, parity);
    QGroupBox *dataBox = optionGroup(this, QStringLiteral("Data Bits"),
                                     options({"d4", "4", "4", "d5", "5", "5", "d6", "6", "6", "d7", "7", "7", "d8", "8",
                                              "8"}),
                                     1, dataBits);
    QGroupBox *stopBox = optionGroup(this, QStringLiteral("Stop Bit"),
                                     options({"s1", "1", "1", "s15", "1.5", "1.5", "s2", "2", "2"}), 1, stopBits);
    QGroupBox *handshakeBox = optionGroup(this, QStringLiteral("Handshake"),
                                          options({"h0", "None", "0", "h1", "XON/OFF", "1", "h2", "RTS", "2", "h3",
                                                   "RTSXOnXOff", "3"}),
                                          1, handshake);
    // The values of the end-of-block options are the numbers of EobChoice.
    QGroupBox *eobBox = optionGroup(this, QStringLiteral("EOB Character"),
                                    options({"f1", "LF", "1", "f2", "CR", "2", "f3", "LF + CR", "3", "f4", "CR + LF", "4",
                                             "f5", "LF + CR + CR", "5", "f6", "Other (See Below)", "6"}),
                                    2, eob);
    txtF = named(new QLineEdit(QStringLiteral("(LF)"), eobBox), "txtF");
    static_cast<QGridLayout *>(eobBox->layout())->addWidget(txtF, 3, 0, 1, 2);

    auto *line = new QHBoxLayout;
    line->addWidget(baudBox);
    line->addWidget(parityBox, 0, Qt::AlignTop);
    line->addWidget(dataBox, 0, Qt::AlignTop);
    auto *stopAndHandshake = new QVBoxLayout;
    stopAndHandshake->addWidget(stopBox);
    stopAndHandshake->addWidget(handshakeBox);
    stopAndHandshake->addStretch(1);
    line->addLayout(stopAndHandshake);

    txtBOF = named(new QLineEdit(this), "txtBOF");
    txtEOF = named(new QLineEdit(this), "txtEOF");
    bofeob = named(new QCheckBox(QStringLiteral("EOB"), this), "bofeob");
    eofeob = named(new QCheckBox(QStringLiteral("EOB"), this), "eofeob");
    auto *special = new QGridLayout;
    auto *bofLabel = new QLabel(QStringLiteral("Special Beginning of File:"), this);
    auto *eofLabel = new QLabel(QStringLiteral("Special End of File:"), this);
    bofLabel->setBuddy(txtBOF);
    eofLabel->setBuddy(txtEOF);
    special->addWidget(bofLabel, 0, 0);
    special->addWidget(txtBOF, 0, 1);
    special->addWidget(bofeob, 0, 2);
    special->addWidget(eofLabel, 1, 0);
    special->addWidget(txtEOF, 1, 1);
    special->addWidget(eofeob, 1, 2);
    auto *protocolBox = named(new QGroupBox(QStringLiteral("Special Protocols"), this), "frameProtocols");
    strippit1 = named(new QCheckBox(QStringLiteral("Strippit HECC80/3"), protocolBox), "strippit1");
    (new QVBoxLayout(protocolBox))->addWidget(strippit1);

    auto *eobAndProtocol = new QHBoxLayout;
    eobAndProtocol->addWidget(eobBox, 1);
    eobAndProtocol->addWidget(protocolBox, 0, Qt::AlignTop);

    auto *right = new QVBoxLayout;
    right->addLayout(names);
    right->addWidget(comBox);
    right->addLayout(line);
    right->addLayout(eobAndProtocol);
    right->addLayout(special);

    auto *outer = new QHBoxLayout(this);
    outer->addLayout(left);
    outer->addLayout(right, 1);

    // The texts in the order they are read, each check box after its text.
    setTabOrder(txtBOF, bofeob);
    setTabOrder(bofeob, txtEOF);
    setTabOrder(txtEOF, eofeob);
    setTabOrder(eofeob, strippit1);

    connect(m, &QListWidget::itemSelectionChanged, this, [this]() {
        if (chosenItem(m) && !m_showing)
            m_Click();
    });
    connect(m, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (item->text() != m_loaded.name)
            m_Click();
    });
    connect(txtName, &QLineEdit::textChanged, this, &frmSendMachine::txtName_Change);
    connect(txtCom, &QLineEdit::textChanged, this, &frmSendMachine::showDevice);
    connect(cboDevice, &QComboBox::currentTextChanged, this, &frmSendMachine::deviceEdited);
    connect(Command1, &QPushButton::clicked, this, &frmSendMachine::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmSendMachine::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmSendMachine::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmSendMachine::Command4_Click);
    connect(cmdSetup, &QPushButton::clicked, this, &frmSendMachine::cmdSetup_Click);
    showDevice();
}

void frmSendMachine::Form_Load()
{
    m_host.applyIcon(this);
    refresh();
}

void frmSendMachine::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmSendMachine::say(const QString &text, const QString &title)
{
    m_host.prompts().message(this, text, title.isEmpty() ? m_host.values().brand.programTitle : title);
}

void frmSendMachine::refresh()
{
    m_showing = true;
    m->clear();
    m->addItems(m_folder.names());
    if (!m_loaded.name.isEmpty()) {
        const QList<QListWidgetItem *> found = m->findItems(m_loaded.name, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (!found.isEmpty())
            m->setCurrentItem(found.first());
    }
    m_showing = false;
}

void frmSendMachine::unload()
{
    m_loaded = MachineProfile();
    Command3->setVisible(false);
    cmdSetup->setEnabled(false);
}

// ---------------------------------------------------------------- showing a machine

void frmSendMachine::m_Click()
{
    if (!chosenItem(m))
        return;
    MachineProfile profile;
    try {
        profile = m_folder.read(chosenItem(m)->text());
    } catch (const ControlError &error) {
        if (error.number() == ControlError::FileNotFound) {
            say(error.description());
            refresh();
        } else {
            say(errorText(error));
        }
        return;
    }
    // A profile that cannot be used is still shown, so that it can be put right here.
    if (const std::optional<QString> problem = profileProblem(profile))
        say(*problem);
    m_loaded = profile;
    cmdSetup->setEnabled(true);
    showFields(fieldsOf(profile));
}

void frmSendMachine::showFields(const ManageFields &f)
{
    txtName->setText(f.name);
    txtComments->setText(f.comments);
    txtBOF->setText(f.bof);
    txtEOF->setText(f.eof);
    bofeob->setChecked(f.bofeob);
    eofeob->setChecked(f.eofeob);
    choose(baud, f.baud);
    choose(parity, f.parity);
    choose(dataBits, f.dataBits);
    choose(stopBits, f.stopBits);
    if (f.handshake >= 0)
        choose(handshake, QString::number(f.handshake));
    txtCom->setText(f.com);
    if (f.eob != EobChoice::None)
        choose(eob, QString::number(static_cast<int>(f.eob)));
    if (f.eob == EobChoice::Other)
        txtF->setText(f.otherEob);
    strippit1->setChecked(f.strippit);
    txtName_Change();
}

ManageFields frmSendMachine::fields() const
{
    ManageFields f;
    f.name = txtName->text();
    f.comments = txtComments->text();
    f.com = txtCom->text();
    f.baud = chosen(baud);
    f.parity = chosen(parity);
    f.dataBits = chosen(dataBits);
    f.stopBits = chosen(stopBits);
    const QString shake = chosen(handshake);
    f.handshake = shake.isEmpty() ? -1 : shake.toInt();
    const QString end = chosen(eob);
    f.eob = end.isEmpty() ? EobChoice::None : static_cast<EobChoice>(end.toInt());
    f.otherEob = txtF->text();
    f.bof = txtBOF->text();
    f.bofeob = bofeob->isChecked();
    f.eof = txtEOF->text();
    f.eofeob = eofeob->isChecked();
    f.strippit = strippit1->isChecked();
    return f;
}

void frmSendMachine::txtName_Change()
{
    if (m_loaded.name.isEmpty())
        return;
    Command3->setVisible(true);
    Command3->setText(QStringLiteral("Update Changes To ") + txtName->text());
}

// ---------------------------------------------------------------- the port's device

void frmSendMachine::showDevice()
{
    const std::optional<int> port = comFieldPort(txtCom->text());
    m_showing = true;
    cboDevice->setEnabled(port.has_value());
    cboDevice->setEditText(port ? m_ports.device(*port) : QString());
    m_showing = false;
}

void frmSendMachine::deviceEdited(const QString &path)
{
    if (m_showing)
        return;
    if (const std::optional<int> port = comFieldPort(txtCom->text()))
        m_ports.setDevice(*port, path.trimmed());
}

// ---------------------------------------------------------------- the commands

void frmSendMachine::Command1_Click()
{
    const std::optional<QString> name = m_host.prompts().input(
        this, QStringLiteral("Please enter a name for your new machine."), QStringLiteral("Create new machine. (Name)"),
        QString());
    if (!name || name->isEmpty())
        return;
    try {
        m_folder.create(*name);
    } catch (const ControlError &error) {
        if (error.number() == FileAlreadyExists || error.number() == BadFileName)
            say(error.description(), QStringLiteral("ERROR"));
        else
            m_host.prompts().warning(this, QStringLiteral("ERROR"), errorText(error));
        return;
    }
    refresh();
}

void frmSendMachine::Command2_Click()
{
    QListWidgetItem *item = chosenItem(m);
    if (!item) {
        say(QStringLiteral("Select the machine to remove in the list first."));
        return;
    }
    const QString name = item->text();
    if (m_host.prompts().ask(this, QStringLiteral("Are you sure you want to remove ") + name + QStringLiteral("?"),
                             m_host.values().brand.programTitle, Prompts::Buttons::YesNo) != Prompts::Answer::Yes)
        return;
    try {
        m_folder.remove(name);
    } catch (const ControlError &error) {
        m_host.prompts().warning(this, QStringLiteral("ERROR"), errorText(error));
        return;
    }
    m_showing = true;
    delete m->takeItem(m->row(item));
    m_showing = false;
    // A machine removed is no longer there to be updated: saving it would bring its file back.
    if (name == m_loaded.name || m->count() == 0)
        unload();
}

void frmSendMachine::Command3_Click()
{
    if (m_loaded.name.isEmpty()) {
        say(QStringLiteral("No machine loaded."));
        return;
    }
    const QString entry = chosenItem(m) ? chosenItem(m)->text() : m_loaded.name;
    if (m_host.prompts().ask(this, QStringLiteral("Are you sure you want to save changes to ") + entry + QStringLiteral("?"),
                             m_host.values().brand.programTitle, Prompts::Buttons::YesNo) != Prompts::Answer::Yes)
        return;
    if (const std::optional<QString> refusal = checkComField(txtCom->text(), m_ports)) {
        say(*refusal);
        return;
    }
    MachineProfile profile;
    try {
        profile = profileFromFields(fields(), m_loaded);
        m_folder.update(m_loaded.name, profile);
    } catch (const ControlError &error) {
        if (error.number() == FileAlreadyExists || error.number() == BadFileName || error.number() == InvalidPropertyValue)
            say(error.description());
        else
            m_host.prompts().warning(this, QStringLiteral("ERROR"), errorText(error));
        return;
    }
    m_ports.write(m_host.settings());
    m_host.settings().sync();
    m_loaded = profile;
    refresh();
}

void frmSendMachine::Command4_Click()
{
    say(specialCharactersTips(), QStringLiteral("Special Characters"));
}

void frmSendMachine::cmdSetup_Click()
{
    if (m_loaded.name.isEmpty()) {
        say(QStringLiteral("No machine loaded."));
        return;
    }
    // The setup is the file's of the machine as saved, whatever its name box says now.
    frmMachineSetup setup(m_host, m_folder, m_loaded.name, this);
    setup.exec();
}
