#include "frmfilter.h"

#include "wordscan.h"

#include "globalvar.h"
#include "host.h"
#include "steptools.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <functional>

frmFilter::frmFilter(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Filter"))
{
    setObjectName(QStringLiteral("frmFilter"));
    Label3 = new QLabel(QStringLiteral("Axis:"), this);
    txtAxis = new QLineEdit(this);
    Label1 = new QLabel(QStringLiteral("Tolerance:"), this);
    txtValue = new QLineEdit(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    txtAxis->setObjectName(QStringLiteral("txtAxis"));
    Label1->setObjectName(QStringLiteral("Label1"));
    txtValue->setObjectName(QStringLiteral("txtValue"));
    txtAxis->setMaxLength(1);
    txtAxis->setMaximumWidth(txtAxis->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 16);
    Label3->setBuddy(txtAxis);
    Label1->setBuddy(txtValue);
    auto *fields = new QGridLayout;
    fields->addWidget(Label3, 0, 0);
    fields->addWidget(txtAxis, 0, 1, Qt::AlignLeft);
    fields->addWidget(Label1, 1, 0);
    fields->addWidget(txtValue, 1, 1);
    ownFields()->addLayout(fields);
    setFirstField(txtAxis);
}

tools::FilterSettings frmFilter::settings() const
{
    return {txtAxis->text(), txtValue->text()};
}

std::unique_ptr<tools::Tool> frmFilter::makeTool() const
{
    return tools::toolWith<tools::FilterTool>(settings(), rangeFields());
}
