#pragma once

#include "find.h"
#include "searchwindow.h"

#include <optional>

class QCheckBox;

// Find: the next line of a range that holds a text, or whose axis value compares with a number
// as chosen. A hit shows the line at the top of the view with the match selected, and the search
// goes on from the line after it at the next press ("Find Next"); it never wraps past the range.
class Find : public search::SearchWindow
{
    Q_OBJECT

public:
    explicit Find(Host &host);

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
    QPushButton *go2 = nullptr; // "F&ind": the axis search

    search::FindFields fields() const;
    QString stepName() const override { return QStringLiteral("Find"); }
    QString stepSettings() const override;

protected:
    std::optional<QString> checkFields() const override;
    QString search(const tools::LineRange &range) override;
    void afterRun(QPushButton *button) override;

private:
    search::FindKind kind() const;

    std::optional<search::SearchHit> m_hit;
};
