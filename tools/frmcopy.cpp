#include "frmcopy.h"

#include "copylines.h"
#include "frmdel.h"
#include "host.h"
#include "tessarc.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>

frmCopy::frmCopy(Host &host) : ToolWindow(host, nullptr, QStringLiteral("Copy Lines"))
{
    setObjectName(QStringLiteral("frmCopy"));
    tools::lineFieldsOnly(*this, QStringLiteral("Copy Lines to Windows Clipboard"));
}

void frmCopy::fillRange()
{
    ToolWindow::fillRange();
    if (!host().editor().lfile.isEmpty())
        EndLine->setText(StartLine->text());
}

QString frmCopy::runOn(const tools::LineRange &range)
{
    tools::CopyLinesText text(range.count());
    const QString stopped = readRange(range, [&text](tessarc::LineNumber, QByteArrayView line) {
        text.addLine(line);
        return true;
    });
    // A part of the range is never put on the clipboard as if it were the whole.
    if (!stopped.isEmpty())
        return stopped + QStringLiteral(" Nothing was copied.");
    QGuiApplication::clipboard()->setText(text.take());
    return QString();
}
