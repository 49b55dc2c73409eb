#pragma once

#include "motion.h"

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

// Completes the setup for `programFile`: subroutines from its folder, the tool table read; the
// exit code, said, when the table cannot be read.
std::optional<int> finishSetup(const QString &programFile, const QString &toolTable, interp::Setup &setup);

} // namespace headless
