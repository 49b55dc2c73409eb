#include "interpoptions.h"

#include "globalvar.h"
#include "headless.h"
#include "programfolder.h"
#include "settingsstore.h"

#include <QFileInfo>

namespace headless {

std::optional<QString> takeOption(QStringList &arguments, const QString &name)
{
    const qsizetype at = arguments.indexOf(name);
    if (at < 0)
        return QString();
    if (at + 1 >= arguments.size() || arguments.indexOf(name, at + 1) >= 0)
        return std::nullopt;
    const QString value = arguments[at + 1];
    arguments.remove(at, 2);
    return value;
}

std::optional<int> takeInterpreterOptions(const char *verb, QStringList &arguments, interp::Setup &setup, QString &toolTable)
{
    const std::optional<QString> table = takeOption(arguments, QStringLiteral("--tools"));
    if (!table)
        return usage(verb, QStringLiteral("--tools takes a tool table file."));
    toolTable = *table;
    const std::optional<QString> dialectName = takeOption(arguments, QStringLiteral("--dialect"));
    if (!dialectName || !dialectName->isEmpty()) {
        const std::optional<interp::Dialect> dialect = dialectName ? interp::dialectNamed(*dialectName) : std::nullopt;
        if (!dialect)
            return usage(verb, QStringLiteral("--dialect takes linuxcnc, fanuc or grbl."));
        setup.dialect = *dialect;
    }
    return std::nullopt;
}

std::optional<int> takeRestartPoint(const char *verb, QStringList &arguments, bool required, qint64 &line, int &pass)
{
    const std::optional<QString> from = takeOption(arguments, QStringLiteral("--from"));
    const std::optional<QString> passText = takeOption(arguments, QStringLiteral("--pass"));
    line = 0;
    pass = 1;
    bool ok = true;
    if (from && !from->isEmpty())
        line = from->toLongLong(&ok);
    if (!from || !ok || line < 0 || (from->isEmpty() && required) || (!from->isEmpty() && line < 1))
        return usage(verb, QStringLiteral("--from takes the number of the line to restart at, from 1."));
    if (passText && !passText->isEmpty())
        pass = passText->toInt(&ok);
    if (!passText || !ok || pass < 1 || (!passText->isEmpty() && line == 0))
        return usage(verb, QStringLiteral("--pass takes the how-manieth run of the --from line, from 1."));
    return std::nullopt;
}

std::optional<int> finishSetup(const QString &programFile, const QString &toolTable, interp::Setup &setup)
{
    setup.subroutineFolder = QFileInfo(programFile).absolutePath();
    if (toolTable.isEmpty())
        return std::nullopt;
    QString error;
    if (!interp::readToolTable(toolTable, false, setup.tools, error)) {
        printError(QStringLiteral("vornexa: %1.").arg(error));
        return BadUsage;
    }
    return std::nullopt;
}

OpenedProgram::OpenedProgram(const QString &stem)
    : m_session(program, tessarc::programFolder(), cliStoreStem() + stem)
{
    IoSettings io;
    io.read(*openSettings());
    io.applyTo(program);
    m_recordLength = io.recLen;
}

OpenedProgram::~OpenedProgram()
{
    program.removeStores();
}

bool OpenedProgram::open(const QString &file)
{
    if (m_session.open(file, m_recordLength))
        return true;
    printError(QStringLiteral("vornexa: %1 cannot be opened: %2").arg(file, m_session.error()));
    return false;
}

} // namespace headless
