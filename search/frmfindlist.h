#pragma once

#include "findwindow.h"

namespace search {
class FindListModel;
class ResultList;
}

// Find (List): the text search and the axis search of Find run over the whole range at once, every
// matching line listed ("Line 12: G01 X1.5"). A click on a row shows its line at the top of the
// view; Print List prints the rows. The list holds line numbers only and reads each row's text
// from the program when the row is shown, so it has no limit but the program's own.
class frmFindList : public search::FindWindow
{
    Q_OBJECT

public:
    explicit frmFindList(Host &host);

    QLabel *Label6 = nullptr;        // "Results", then the count
    QLabel *Label5 = nullptr;        // "Click on result to scroll to line."
    search::ResultList *List1 = nullptr;
    QPushButton *Command1 = nullptr; // "Print List"

    search::FindListModel &results() const { return *m_results; }

    // Shows the line of row `row` at the top of the view.
    void List1_Click(int row);
    // Prints the rows.
    void Command1_Click();
    // Label6: the number of rows followed by " results.", and whether the program changed since.
    void Form_Resize();

    QString stepName() const override { return QStringLiteral("Find (List)"); }

protected:
    QString search(const tools::LineRange &range) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    search::FindListModel *m_results = nullptr;
    bool m_ran = false;      // the list holds a run's rows
    bool m_outOfDate = false; // the program changed since that run
};
