#include "frmdel.h"

#include "globalvar.h"
#include "host.h"
#include "tessarc.h"
#include "wholelines.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace tools {

void lineFieldsOnly(ToolWindow &window, const QString &caption)
{
    window.LINE2LINE->setChecked(true);
    window.ALL->hide();
    window.LINE2LINE->hide();
    window.Label2->setText(QStringLiteral("to"));
    if (auto *box = window.findChild<QGroupBox *>(QStringLiteral("rangeBox")))
        box->setTitle(caption);
}

std::optional<QString> pageNotStored(Host &host)
{
    if (host.editor().pageIsStored())
        return std::nullopt;
    return QStringLiteral("The page being edited could not be stored, so the program was not changed. Correct the "
                          "page (a line may be too long for a record) and try again.");
}

} // namespace tools

frmDel::frmDel(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Remove Lines"))
{
    setObjectName(QStringLiteral("frmDel"));
    tools::lineFieldsOnly(*this, QStringLiteral("Remove Lines"));
}

void frmDel::fillRange()
{
    ToolWindow::fillRange();
    if (!host().editor().lfile.isEmpty())
        EndLine->setText(StartLine->text());
}

QString frmDel::stepSettings() const
{
    return tools::removeLinesStep(StartLine->text(), EndLine->text(), host().values().brand.stepSeparator);
}

QString frmDel::runOn(const tools::LineRange &range)
{
    if (const std::optional<QString> refusal = tools::pageNotStored(host()))
        return *refusal;
    try {
        tools::removeLines(host().editor().program(), range.first, range.last, [this](qint64 done, qint64 total) {
            showProgress(done, tools::LineRange{0, total});
        });
    } catch (const tessarc::ControlError &error) {
        return tools::failureText(error, QStringLiteral("No line was removed."));
    }
    return QString();
}
