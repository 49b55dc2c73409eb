#pragma once

#include "replace.h"
#include "searchwindow.h"

class QCheckBox;

// Replace: changes every line of a range that matches, in one pass, with one of five actions,
// each behind its own button: the text action (Go: replace the found text, replace the whole line
// or append to it) and, where an axis condition holds, setting a second letter's value (go2),
// replacing a text (go3), replacing the whole line (go4) or appending to it (go5). The pressed
// button shows the progress. Opened from the macro editor, a press records a "Replace" step.
class frmReplace : public search::SearchWindow
{
    Q_OBJECT

public:
    // `owner` is the macro editor while recording, else null.
    explicit frmReplace(Host &host, QWidget *owner = nullptr);

    QLabel *Label1 = nullptr; // "Find"
    QLineEdit *txtFind = nullptr;
    QLabel *Label3 = nullptr; // "Replace With"
    QLineEdit *txtReplace = nullptr;
    QCheckBox *case1 = nullptr; // "Match Case"
    QGroupBox *Frame3 = nullptr;
    QRadioButton *r1 = nullptr; // "Replace Found Text"
    QRadioButton *r2 = nullptr; // "Replace Whole Line"
    QRadioButton *r3 = nullptr; // "Append To Line"
    QLabel *Label5 = nullptr;   // "Find Where The"
    QLineEdit *txtAxis = nullptr;
    QLabel *Label4 = nullptr;   // "Axis Is"
    QGroupBox *Frame1 = nullptr;
    QRadioButton *g = nullptr;
    QRadioButton *l = nullptr;
    QRadioButton *e = nullptr;
    QRadioButton *n = nullptr;
    QLineEdit *txtValue = nullptr;
    QLabel *Label7 = nullptr;   // "(Number Required)"
    QLabel *Label6 = nullptr;   // "Then Replace The Value of          With", txtReplaceAxis in its gap
    QLineEdit *txtReplaceAxis = nullptr;
    QLineEdit *txtReplaceValue = nullptr;
    QLabel *Label10 = nullptr;  // "(Number Required)"
    QPushButton *go2 = nullptr;
    QLabel *Label8 = nullptr;   // "Then Find"
    QLineEdit *Text1 = nullptr;
    QLabel *Label9 = nullptr;   // "And Replace With"
    QLineEdit *Text2 = nullptr;
    QCheckBox *case2 = nullptr; // "Match Case"
    QPushButton *go3 = nullptr;
    QLabel *Label11 = nullptr;  // "Replace Whole Line With"
    QLineEdit *txtReplaceLine = nullptr;
    QPushButton *go4 = nullptr;
    QLabel *Label12 = nullptr;  // "Append The Line With"
    QLineEdit *txtAppendLine = nullptr;
    QPushButton *go5 = nullptr;

    // Typing in txtAxis is turned to capitals at once.
    void txtAxis_Change();

    // The button of a mode, as a recorded step presses it.
    QPushButton *button(search::ReplaceMode mode) const;
    search::ReplaceSettings settings() const;
    // The settings, the range and the pressed button's mode.
    std::unique_ptr<tools::Tool> makeTool() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The mode of the pressed button (the text action when none is pressed).
    search::ReplaceMode mode() const;
    void placeReplaceAxis();
};
