#pragma once

#include "findsize.h"
#include "positionlist.h"
#include "toolwindow.h"

class QListView;
class QModelIndex;
class QStringListModel;

// Find Size: the smallest and largest value of every letter over a range (List1), every position
// of one letter (List2), and the jump to a position's line. It only reads the program.
class frmSize : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmSize(Host &host);

    QLabel *Label1 = nullptr;    // "Click on an axis to list all positions of that axis in this program."
    QListView *List1 = nullptr;  // one row a letter: letter, max, min
    QLabel *Label3 = nullptr;    // "All positions of axis." until a letter is listed
    QLabel *Label4 = nullptr;    // "Click on position below to scroll to line."
    QListView *List2 = nullptr;  // every position of one letter
    QLabel *Label5 = nullptr;    // the number of positions

    // Lists every position of the clicked row's letter, after asking.
    void List1_Click(const QModelIndex &index);
    // Shows the clicked position's line.
    void List2_Click(const QModelIndex &index);

    QStringListModel *letterRows() const { return m_letters; }
    tools::PositionListModel *positionRows() const { return m_positions; }

    // Find Size is not a macro step.
    QString stepName() const override { return QString(); }
    QString stepSettings() const override { return QString(); }

protected:
    std::optional<QString> checkFields() const override { return std::nullopt; }
    QString runOn(const tools::LineRange &range) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    tools::SizeRules rules() const;

    QStringListModel *m_letters = nullptr;
    tools::PositionListModel *m_positions = nullptr;
};
