#pragma once

#include "gcodedefinitions.h"

#include <QDialog>

class Host;
class QLabel;
class QListWidget;
class QPushButton;

// The G-code definitions window: every definition of "g&mcode.txt", sorted with letter case
// ignored, with Add and Remove. The file is created with its defaults when there is none, and
// written back whole, in list order, whenever the window closes.
class frmDefine : public QDialog
{
    Q_OBJECT

public:
    explicit frmDefine(Host &host);

    QListWidget *List1 = nullptr;
    QPushButton *Command1 = nullptr; // "Add"
    QPushButton *Command2 = nullptr; // "Remove"
    QLabel *Label1 = nullptr;        // "Current definitions:"
    QLabel *Label2 = nullptr;        // where the file is kept

    void Command1_Click();
    void Command2_Click();
    // Lists a line that Define Selected Text added to the file while the window is open, so that
    // writing the list back keeps it.
    void noteAdded(const QString &item);
    // Writes the list over the file; true when it was written or the machinist chose to close
    // without it.
    bool Form_QueryUnload();

    void done(int result) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void showItems(int current = -1);

    Host &m_host;
    definitions::DefinitionList m_list;
    bool m_closing = false; // the list has been written back for this close
};

// Define Selected Text: looks the editor's selection up in the definitions file and shows what it
// means; when there is no definition, offers to add one. With no file yet the definitions window
// opens (and creates it) instead.
void defineSelectedText(Host &host);
