#pragma once

#include "machinefolder.h"
#include "machinesetup.h"

#include <QDialog>

class Host;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

// The setup of one machine, beside its profile: the dialect it reads, whether it is a lathe, its N
// digits, spindle top speed, tool-change time, arc tolerance, default rates, the retract and
// tool-change blocks, and for each axis its travel, rapid rate, top feed and acceleration. OK checks
// every field (a refusal is said and nothing is written) and writes the machine's setup file at
// once; the profile is never touched. A box left empty reads as 0. Its DNC page holds how the DNC
// server serves the machine.
class frmMachineSetup : public QDialog
{
    Q_OBJECT

public:
    // The columns of the axis table.
    enum Column { Limited, Min, Max, Rapid, MaxFeed, Accel, Columns };

    frmMachineSetup(Host &host, const comm::MachineFolder &folder, const QString &machine, QWidget *parent = nullptr);

    QComboBox *cboDialect = nullptr;
    QCheckBox *chkLathe = nullptr;
    QLineEdit *txtNDigits = nullptr;
    QLineEdit *txtSpindleMax = nullptr;
    QLineEdit *txtToolChangeSeconds = nullptr;
    QLineEdit *txtArcTolerance = nullptr;
    QLineEdit *txtDefaultRapid = nullptr;
    QLineEdit *txtDefaultAccel = nullptr;
    QLineEdit *txtRetract = nullptr;
    QLineEdit *txtToolChange = nullptr;
    QTableWidget *axes = nullptr; // one row per axis, X Y Z A B C U V W
    // The DNC page.
    QCheckBox *chkDncEnabled = nullptr;
    QLineEdit *txtDncPrograms = nullptr;
    QLineEdit *txtDncReceived = nullptr;
    QLineEdit *txtDncExtension = nullptr;
    QLineEdit *txtDncRequestLines = nullptr;
    QLineEdit *txtDncRequestDelay = nullptr;
    QLineEdit *txtDncQuietSeconds = nullptr;
    QComboBox *cboDncFileName = nullptr;
    QLineEdit *txtDncDigits = nullptr;
    QLineEdit *txtDncBackups = nullptr;
    QCheckBox *chkDncDripFeed = nullptr;
    QPlainTextEdit *txtDncRequests = nullptr; // one pattern a line
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

    // Shows a setup in the fields.
    void showSetup(const interp::MachineSetup &setup);
    // The setup the fields hold, or nothing with `refusal` saying which field is no number.
    std::optional<interp::MachineSetup> fieldsSetup(QString &refusal) const;

    void Form_Load();
    void cmdOK_Click();

    const QString &machine() const { return m_machine; }

private:
    void say(const QString &text);

    Host &m_host;
    comm::MachineFolder m_folder;
    QString m_machine;
};
