#pragma once

#include "operationsplus.h"
#include "toolwindow.h"

#include <optional>

class QCheckBox;
class QGroupBox;

// Operations Plus: where letter A compares with a value, one operation with a value on letter B;
// and, when asked, that value changed by a second operation after each line, so a run can write a
// growing or shrinking sequence.
class frmOpPlus : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmOpPlus(Host &host, QWidget *owner = nullptr);

    QLabel *Label5 = nullptr; // "Find Where The"
    QLineEdit *Text1 = nullptr;
    QLabel *Label1 = nullptr; // "Axis Is"
    QGroupBox *Frame2 = nullptr;
    QRadioButton *g = nullptr; // ">"
    QRadioButton *l = nullptr; // "<"
    QRadioButton *e = nullptr; // "="
    QRadioButton *n = nullptr; // "< >"
    QLineEdit *Text2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QRadioButton *rp = nullptr; // "Real Position"
    QRadioButton *cp = nullptr; // "Position On Current Line Only"
    QLabel *Label6 = nullptr;   // "Then"
    QGroupBox *Frame1 = nullptr; // "Operation:"
    QRadioButton *Option1 = nullptr; // "Add"
    QRadioButton *Option2 = nullptr; // "Subtract"
    QRadioButton *Option3 = nullptr; // "Multiply"
    QRadioButton *Option4 = nullptr; // "Divide"
    QLabel *Label4 = nullptr; // "Value:" and "(Number Required)"
    QLineEdit *txtValue = nullptr;
    QLabel *Label3 = nullptr; // "Axis:"
    QLineEdit *txtAxis = nullptr;
    QLabel *Label11 = nullptr; // the text of txtValue, as it changes
    QLabel *Label7 = nullptr;  // "Then"
    QGroupBox *Frame4 = nullptr; // "Operation:"
    QRadioButton *inc1 = nullptr; // "Add"
    QRadioButton *inc2 = nullptr; // "Subtract"
    QRadioButton *inc3 = nullptr; // "Multiply"
    QRadioButton *inc4 = nullptr; // "Divide"
    QLabel *Label8 = nullptr; // "Value:" and "(Number Required)"
    QLineEdit *inc = nullptr;
    QCheckBox *Check1 = nullptr; // "Every Time A Replacement Is Made"
    QCheckBox *Check2 = nullptr; // "Every Time A Line Is Searched"

    void Option1_Click() { m_operation = tools::Operation::Add; }
    void Option2_Click() { m_operation = tools::Operation::Subtract; }
    void Option3_Click() { m_operation = tools::Operation::Multiply; }
    void Option4_Click() { m_operation = tools::Operation::Divide; }
    void txtValue_Change();
    tools::Operation operation() const { return m_operation; }

    tools::OperationsPlusSettings settings() const;
    std::unique_ptr<tools::Tool> makeTool() const override;

private:
    tools::Operation m_operation = tools::Operation::Add;
};
