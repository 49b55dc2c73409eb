#include "frmexportpc.h"

#include "globalvar.h"
#include "host.h"
#include "operationlock.h"
#include "prompts.h"
#include "tessarc.h"

#include <QBoxLayout>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

frmExportPC::frmExportPC(Host &host) : ToolWindow(host, nullptr, QStringLiteral("Export Point Cloud"))
{
    setObjectName(QStringLiteral("frmExportPC"));
    auto *points = new QGroupBox(QStringLiteral("Points"), this);
    points->setObjectName(QStringLiteral("pointsBox"));
    o1 = new QRadioButton(QStringLiteral("Point Saved For Every Line"), points);
    o2 = new QRadioButton(QStringLiteral("Point Saved For Every Line With An X, Y, or Z"), points);
    o1->setObjectName(QStringLiteral("o1"));
    o2->setObjectName(QStringLiteral("o2"));
    o1->setChecked(true);
    auto *options = new QVBoxLayout(points);
    options->addWidget(o1);
    options->addWidget(o2);

    Label1 = new QLabel(QStringLiteral("Export to:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    text1 = new QPushButton(this);
    text1->setObjectName(QStringLiteral("text1"));
    text1->setAutoDefault(false);
    text1->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 48);
    Label1->setBuddy(text1);
    auto *where = new QHBoxLayout;
    where->addWidget(Label1);
    where->addWidget(text1, 1);

    ownFields()->addWidget(points);
    ownFields()->addLayout(where);
    setFirstField(o1);

    Go->setText(QStringLiteral("&Export Point Cloud"));
    connect(&host.lock(), &tessarc::OperationLock::busyChanged, this, [this](bool busy) {
        if (!busy)
            Go->setText(QStringLiteral("Export Point Cloud"));
    });
    connect(text1, &QPushButton::clicked, this, &frmExportPC::text1_Click);
    connect(&host.editor().program(), &tessarc::Program::loaded, this, &frmExportPC::proposeTarget);
    proposeTarget();
}

void frmExportPC::proposeTarget()
{
    const QString program = host().editor().lfile;
    if (!program.isEmpty())
        setTarget(tools::proposedPointCloudName(program));
}

void frmExportPC::setTarget(const QString &path)
{
    m_target = path;
    // A "&" in a path is shown as itself, not as a shortcut mark.
    text1->setText(QDir::toNativeSeparators(path).replace(QLatin1Char('&'), QStringLiteral("&&")));
    text1->setToolTip(QDir::toNativeSeparators(path));
}

void frmExportPC::text1_Click()
{
    GlobalVar &values = host().values();
    const QString folder = m_target.isEmpty() ? values.folders.lastDirSave : QFileInfo(m_target).absolutePath();
    const QString chosen = host().prompts().saveFileName(this, folder);
    if (!chosen.isEmpty())
        setTarget(chosen);
}

std::optional<QString> frmExportPC::checkFields() const
{
    const TESSARC &editor = host().editor();
    return tools::pointCloudTargetRefused(m_target, editor.lfile, editor.program().storeFiles());
}

QString frmExportPC::runOn(const tools::LineRange &range)
{
    tools::PointCloudExport cloud(o2->isChecked() ? tools::PointsFor::LinesWithXyz : tools::PointsFor::EveryLine,
                                  lineRules());
    if (!cloud.open(m_target))
        return cloud.error() + QLatin1Char('.');
    QString stopped;
    try {
        stopped = readRange(range, [&cloud](tessarc::LineNumber, QByteArrayView line) { return cloud.addLine(line); });
    } catch (...) {
        cloud.cancel();
        throw;
    }
    if (!stopped.isEmpty()) {
        cloud.cancel();
        return stopped + QStringLiteral(" No point cloud was written.");
    }
    if (!cloud.error().isEmpty() || !cloud.commit())
        return cloud.error() + QStringLiteral(". No point cloud was written.");
    QString detail = QStringLiteral("%1 points written to %2").arg(cloud.points()).arg(QDir::toNativeSeparators(m_target));
    if (cloud.guessed() > 0)
        detail += QStringLiteral(", %1 of them keeping a coordinate an expression sets").arg(cloud.guessed());
    tellNote(detail);
    return QString();
}
