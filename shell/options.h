#pragma once

#include <QDialog>
#include <QFont>
#include <QPushButton>
#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QScrollBar;
class Host;

// A button that shows a colour as its face (24-bit, red in the low byte).
class ColorButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ColorButton(QWidget *parent = nullptr);
    int colorValue() const { return m_color; }
    void setColorValue(int rgb);

private:
    int m_color = 0;
};

// The Options window: comment delimiters, the number pictures, progress in percent, spaces inside
// numbers, how a lone line feed is read, the line ends Save writes, the editor's colours and font, the eight colour slots,
// the recent-files list, and the motion a program is read with when it is sent to no machine in particular.
// Edits stay in the window until Apply (or Ok); Cancel drops them. Apply with a rate that is no number
// says so and changes nothing.
class Options : public QDialog
{
    Q_OBJECT

public:
    explicit Options(Host &host, QWidget *parent = nullptr);

    QWidget *Label1 = nullptr; // "Comments start with ... and end with", holding the two boxes
    QLineEdit *txtStartComment = nullptr;
    QLineEdit *txtEndComment = nullptr;
    QWidget *lineComments = nullptr;     // "A comment also runs from ... to the end of the line"
    QLineEdit *txtLineComment = nullptr;
    QWidget *commentCommands = nullptr;  // "Remove Comments keeps the comments that begin with"
    QLineEdit *txtCommands = nullptr;
    QWidget *undoLimits = nullptr;       // "Undo keeps up to ... changes in at most ... MB of disk"
    QSpinBox *txtUndoSteps = nullptr;
    QSpinBox *txtUndoMegabytes = nullptr;
    QLabel *Label2 = nullptr; // "Min. places after decimal"
    QScrollBar *scrMin = nullptr;
    QLabel *lblMin = nullptr;
    QLabel *Label3 = nullptr; // "Max. places after decimal"
    QScrollBar *scrMax = nullptr;
    QLabel *lblMax = nullptr;
    QLabel *Label6 = nullptr; // "Max decimal places for percents"
    QLabel *Label4 = nullptr; // "Accuracy:"
    QScrollBar *scrPer = nullptr;
    QLabel *lblPer = nullptr;
    QCheckBox *Check2 = nullptr; // "Calculate Percents"
    QCheckBox *Check1 = nullptr; // "Include spaces in positions."
    QCheckBox *Check3 = nullptr; // "A line feed alone ends a line"
    QComboBox *saveEnds = nullptr; // "Save ends lines": "as the program had them", "CR LF", "LF"
    QLabel *Label5 = nullptr;    // "Fore Color"
    ColorButton *fColor = nullptr;
    QLabel *Label7 = nullptr; // "Back Color"
    ColorButton *bColor = nullptr;
    QPushButton *Command2 = nullptr; // "Set Main Font"
    QPushButton *clear = nullptr;    // "Clear Recent Documents"
    QGroupBox *Frame1 = nullptr;     // "Axis Highlights"
    std::array<QLineEdit *, 8> a{};  // the slots' letters, object names "a0" ... "a7"
    std::array<ColorButton *, 8> c{}; // the slots' colours, object names "c0" ... "c7"
    QGroupBox *motion = nullptr;     // "Motion"
    QComboBox *cboDialect = nullptr; // LinuxCNC, Fanuc, GRBL
    QLineEdit *txtRapid = nullptr;   // mm/min
    QLineEdit *txtAccel = nullptr;   // mm/s²
    QLineEdit *txtTolerance = nullptr; // values within it compare equal (Compare With..., --compare)
    QPushButton *Command1 = nullptr; // "Apply"
    QPushButton *Command4 = nullptr; // "Ok"
    QPushButton *Command3 = nullptr; // "Cancel"

    // The font Apply gives the editor: the stored editor font until the font dialog picks another.
    const QFont &chosenFont() const { return m_font; }

    void Form_Load();
    void scrMin_Change();
    void scrMax_Change();
    void scrPer_Change();
    void Command1_Click(); // Apply
    void Command4_Click(); // Ok
    void Command3_Click(); // Cancel
    void Command2_Click(); // Set Main Font
    void fColor_Click();
    void bColor_Click();
    void c_Click(int i);
    void clear_Click();

    // A number picture's count of `ch` from its second character on.
    static int countPattern(const QString &pattern, QChar ch);

private:
    // Apply: false (with the machinist told why, and nothing written) when a field is refused.
    bool apply();
    bool pickColor(ColorButton *button);
    void previewSlot(int i);

    Host &m_host;
    QFont m_font;
};
