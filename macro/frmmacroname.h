#pragma once

#include <QWidget>

class QLabel;
class QListWidget;
class QListWidgetItem;
class frmMacro;

// Select Macro Type: the step names; choosing one opens that tool's window for recording, owned by
// the macro editor, and puts this window away.
class frmMacroName : public QWidget
{
    Q_OBJECT

public:
    explicit frmMacroName(frmMacro &editor);

    QLabel *Label1 = nullptr;     // "Select the type of macro you wish to create."
    QListWidget *List1 = nullptr; // the step names, in the order of the step-type list

    void List1_Click(QListWidgetItem *item);

private:
    frmMacro &m_editor;
    bool m_chosen = false;
};
