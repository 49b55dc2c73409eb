#pragma once

#include "machinefields.h"
#include "machinefolder.h"
#include "machineprofile.h"
#include "portmap.h"

#include <QList>
#include <QWidget>

class Host;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

// Manage Machines: creates, shows, changes, renames and removes the machine profiles of the "m"
// folder, and shows which device each COM number opens (the PORTS settings), changeable to any
// port of the system or any path typed. Update Changes opens and closes the port before anything
// is saved; the profile and the device are saved together, or neither. Setup opens the loaded
// machine's setup (dialect, travel, rates), kept in a file of its own beside the profile.
class frmSendMachine : public QWidget
{
    Q_OBJECT

public:
    explicit frmSendMachine(Host &host, QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;        // "Current Machines:"
    QListWidget *m = nullptr;
    QPushButton *Command1 = nullptr; // "&Add New"
    QPushButton *Command2 = nullptr; // "&Remove"
    QPushButton *Command3 = nullptr; // "&Update Changes"; hidden until a profile is loaded
    QPushButton *Command4 = nullptr; // "Tips for using special characters"
    QPushButton *cmdSetup = nullptr; // "&Setup..."; enabled while a profile is loaded
    QLineEdit *txtName = nullptr;
    QLineEdit *txtComments = nullptr;
    QLineEdit *txtCom = nullptr;
    QComboBox *cboDevice = nullptr;  // the device of the COM number in txtCom
    QList<QRadioButton *> baud;      // b110 ... b256000
    QList<QRadioButton *> parity;    // pE, pM, pN, pO, pS
    QList<QRadioButton *> dataBits;  // d4 ... d8
    QList<QRadioButton *> stopBits;  // s1, s15, s2
    QList<QRadioButton *> handshake; // h0 ... h3
    QList<QRadioButton *> eob;       // f1 ... f6
    QLineEdit *txtF = nullptr;
    QLineEdit *txtBOF = nullptr;
    QCheckBox *bofeob = nullptr;
    QLineEdit *txtEOF = nullptr;
    QCheckBox *eofeob = nullptr;
    QCheckBox *strippit1 = nullptr;

    // Fills the machine list; nothing is loaded yet.
    void Form_Load();
    void m_Click();
    void txtName_Change();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    // Opens the loaded machine's setup, modal; its OK writes the setup file.
    void cmdSetup_Click();

    // The profile loaded, "" as its name while none is.
    const comm::MachineProfile &loaded() const { return m_loaded; }
    // The device mapping as the window holds it, saved with Update Changes.
    const comm::PortMap &ports() const { return m_ports; }

    // The fields as they stand.
    comm::ManageFields fields() const;
    // Shows a profile's fields (an item that matches no option leaves its group as it was).
    void showFields(const comm::ManageFields &fields);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void refresh();
    void showDevice();
    void deviceEdited(const QString &path);
    void say(const QString &text, const QString &title = QString());
    void unload();

    Host &m_host;
    comm::MachineFolder m_folder;
    comm::MachineProfile m_loaded;
    comm::PortMap m_ports;
    bool m_showing = false;
};
