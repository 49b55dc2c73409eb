#pragma once

#include "linenumbers.h"
#include "toolwindow.h"

#include <optional>

class QCheckBox;
class QGroupBox;

// Add / Remove N: a sequence number word in front of every line of a range, numbered by the lines'
// own positions or from a start number by an increment; or the leading N word taken off.
class frmN : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmN(Host &host, QWidget *owner = nullptr);

    QGroupBox *frame1 = nullptr;   // "Add / Remove N"
    QRadioButton *add = nullptr;    // "&Add N"
    QRadioButton *remove = nullptr; // "&Remove N"
    QGroupBox *Frame2 = nullptr;    // the numbering choices, shown while adding
    QRadioButton *Option1 = nullptr; // "Renumber Using Real Line Number"
    QRadioButton *Option2 = nullptr; // "Renumber Starting At:"
    QLineEdit *txtStartNumber = nullptr;
    QLabel *Label1 = nullptr; // "Increment By:"
    QLineEdit *txtInc = nullptr;
    QCheckBox *Check1 = nullptr; // "Insert Space After N"
    QCheckBox *Check2 = nullptr; // "Remove any already existing N"

    // Adding shows the numbering choices, removing hides them.
    void add_Click();
    void remove_Click();

    tools::LineNumberSettings settings() const;
    std::unique_ptr<tools::Tool> makeTool() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A key typed into txtStartNumber or txtInc: chooses Option2, and only digits and Backspace go in.
    bool numberKeyAccepted(QKeyEvent *event);
};
