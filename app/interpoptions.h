#pragma once

#include "motion.h"
#include "program.h"
#include "programsession.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the forms that follow a program (--moves, --plot) take alike: the dialect, the tool table,
// and the setup the interpreter follows the program with.
namespace headless {

// Takes "NAME VALUE" out of the arguments: the value, "" when NAME is not there, nothing when it
// has no value after it or stands twice.
std::optional<QString> takeOption(QStringList &arguments, const QString &name);

// Takes --dialect NAME and --tools TABLE out of the arguments into `setup` and `toolTable`; the
// exit code of bad usage, said, when one is wrong.
std::optional<int> takeInterpreterOptions(const char *verb, QStringList &arguments, interp::Setup &setup, QString &toolTable);

// Takes --from LINE and --pass K (default 1) out of the arguments; `required` says whether --from
// must be there (`line` stays 0 when it is not). The exit code of bad usage, said, when one is wrong.
std::optional<int> takeRestartPoint(const char *verb, QStringList &arguments, bool required, qint64 &line, int &pass);

// Completes the setup for `programFile`: subroutines from its folder, the tool table read; the
// exit code, said, when the table cannot be read.
std::optional<int> finishSetup(const QString &programFile, const QString &toolTable, interp::Setup &setup);

// A program file opened into stores of the form's own, as the window opens it (the record length
// and line ends of the settings); the stores go with it.
class OpenedProgram
{
public:
    // `stem` tells two programs a form opens at once apart.
    explicit OpenedProgram(const QString &stem = QString());
    ~OpenedProgram();
    // False, said on stderr, when it cannot be opened.
    bool open(const QString &file);
    tessarc::Program program;

private:
    ProgramSession m_session;
    int m_recordLength = 0;
};

} // namespace headless
