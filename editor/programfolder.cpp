#include "programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tessarc {

QString programFolder()
{
    const QString home = qEnvironmentVariable("VORNEXA_HOME");
    if (!home.isEmpty()) {
        QDir().mkpath(home);
        return QDir(home).absolutePath();
    }
    // A program as built keeps its folder beside it; one installed beside its shared files (in
    // bin, with share/vornexa) never writes there, even where it could.
    const QString exeDir = QCoreApplication::applicationDirPath();
    const bool installed = !exeDir.isEmpty() && QFileInfo(QDir(exeDir).filePath(QStringLiteral("../share/vornexa"))).isDir();
    if (!exeDir.isEmpty() && !installed && QFileInfo(exeDir).isWritable())
        return exeDir;
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share/vornexa");
    QDir().mkpath(data);
    return data;
}

} // namespace tessarc
