#pragma once

#include "machinefolder.h"
#include "machineprofile.h"

#include <QWidget>
#include <optional>

class Host;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace comm {

// The machine list the Send and Receive windows share: the machines of the "m" folder, the summary
// and comments of the chosen one, and the way to Manage Machines. Choosing a machine reads its
// profile (a missing, damaged or unusable one is said and nothing is chosen) and remembers it as
// the last used; opening selects the last used machine again.
class MachinePicker : public QWidget
{
    Q_OBJECT

public:
    MachinePicker(Host &host, QWidget *parent);

    QLabel *Label1 = nullptr;        // "Select machine you would like to communicate with:"
    QListWidget *m = nullptr;        // the machine list
    QLabel *MachineSpec = nullptr;   // the chosen machine's summary
    QLabel *Label3 = nullptr;        // "Comments for <name>:"
    QPlainTextEdit *Text1 = nullptr; // its comments
    QPushButton *Command1 = nullptr; // "&Manage Machines"

    // Fills the list and selects the last used machine when it is there.
    void fill();
    // Reads the selected machine's profile and shows it.
    void m_Click();

    // The chosen machine's profile; nothing until one is chosen.
    const std::optional<MachineProfile> &profile() const { return m_profile; }
    bool isEmpty() const;

signals:
    // "&Manage Machines" was pressed: the window opens Manage Machines and closes itself.
    void manageMachines();

private:
    void refresh();
    void clearShown();

    Host &m_host;
    MachineFolder m_folder;
    std::optional<MachineProfile> m_profile;
    bool m_filling = false;
};

} // namespace comm
