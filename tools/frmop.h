#pragma once

#include "operations.h"
#include "toolwindow.h"

class QGroupBox;

// Operations: one arithmetic operation with one constant on one letter's values, over a range.
class frmOp : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmOp(Host &host, QWidget *owner = nullptr);

    QLabel *Label3 = nullptr;    // "Axis:"
    QLineEdit *txtAxis = nullptr;
    QLabel *Label4 = nullptr;    // "Value:" and "(Number Required)"
    QLineEdit *txtValue = nullptr;
    QGroupBox *Frame1 = nullptr; // "Operation:"
    QRadioButton *Option1 = nullptr; // "Add"
    QRadioButton *Option2 = nullptr; // "Subtract"
    QRadioButton *Option3 = nullptr; // "Multiply"
    QRadioButton *Option4 = nullptr; // "Divide"

    void Option1_Click() { m_operation = tools::Operation::Add; }
    void Option2_Click() { m_operation = tools::Operation::Subtract; }
    void Option3_Click() { m_operation = tools::Operation::Multiply; }
    void Option4_Click() { m_operation = tools::Operation::Divide; }
    tools::Operation operation() const { return m_operation; }

    // The window's own fields as they stand.
    tools::OperationsSettings settings() const;
    std::unique_ptr<tools::Tool> makeTool() const override;

private:
    tools::Operation m_operation = tools::Operation::Add;
};
