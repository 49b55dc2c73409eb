#pragma once

#include "find.h"
#include "searchwindow.h"

#include <optional>

class QCheckBox;
class QGridLayout;

namespace search {

// The fields Find and Find (List) share: the text search on one row ("Find", Match Case, the
// window's Go), the axis search on the next (the letter, the comparison, the number, go2), their
// checks and their step text. A window adds what it has of its own below them.
class FindWindow : public SearchWindow
{
    Q_OBJECT

public:
    QLabel *Label1 = nullptr;   // "Find"
    QLineEdit *txtFind = nullptr;
    QCheckBox *case1 = nullptr; // "Match Case"
    QLabel *Label3 = nullptr;   // "Find Where The"
    QLineEdit *txtAxis = nullptr;
    QLabel *Label4 = nullptr;   // "Axis Is"
    QGroupBox *Frame1 = nullptr; // g ">", l "<", e "=", n "< >"
    QRadioButton *g = nullptr;
    QRadioButton *l = nullptr;
    QRadioButton *e = nullptr;
    QRadioButton *n = nullptr;
    QLineEdit *txtValue = nullptr;
    QPushButton *go2 = nullptr; // the axis search

    FindFields fields() const;
    QString stepSettings() const override;

protected:
    // `caption` is the window's; Go reads "&" + `search`, go2 "F&ind" + what follows "Find" in it,
    // and both read `after` once they ran.
    FindWindow(Host &host, const QString &caption, const QString &search, const QString &after);

    // The grid of the two search rows (three columns); a window adds its own rows below them.
    QGridLayout *rows() const { return m_rows; }
    std::optional<QString> checkFields() const override;
    // Which search the pressed button runs.
    FindKind kind() const;
    // What the pressed button looks for, on the settings of the program.
    LineMatcher matcher() const;

private:
    QGridLayout *m_rows = nullptr;
};

} // namespace search
