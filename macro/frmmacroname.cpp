#include "frmmacroname.h"

#include "frmmacro.h"
#include "stepwindows.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

frmMacroName::frmMacroName(frmMacro &editor) : QWidget(&editor, Qt::Tool), m_editor(editor)
{
    setWindowTitle(QStringLiteral("Select Macro Type"));
    Label1 = new QLabel(QStringLiteral("Select the type of macro you wish to create."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->addItems(macro::recordableSteps());
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(List1);
    resize(300, 300);
    connect(List1, &QListWidget::itemClicked, this, &frmMacroName::List1_Click);
    connect(List1, &QListWidget::itemActivated, this, &frmMacroName::List1_Click);
}

void frmMacroName::List1_Click(QListWidgetItem *item)
{
    if (!item || m_chosen)
        return;
    m_chosen = true;
    m_editor.recordStep(item->text());
    close();
}
