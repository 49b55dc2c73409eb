#pragma once

#include "program.h"
#include "programcompare.h"
#include "restart.h"

#include <QString>

#include <functional>
#include <optional>

// A restart of the open program, the same for Send, the editor's Save Restart Program As... and
// the forms without a window: planned over the program's line store, written to a file whole and
// safely, or copied into stores of its own to be sent as a program is sent.
namespace comm {

// The restart from `line` (its `pass`-th run) of `program`, proved against the program's own run
// (see interp::planRestart). Failures of the store are refusals.
interp::RestartPlan planRestartOf(const tessarc::Program &program, const interp::Setup &setup,
                                  const interp::MachineSetup &machine, qint64 line, int pass,
                                  const std::function<bool(qint64 done)> &progress = {});

// The end of line the program's Save writes, for the restart program's lines.
QByteArray lineEndOf(const tessarc::Program &program);

// Writes the plan's restart program to `file` through SafeFile: a failure leaves any old file as it
// was. Nothing when done, else why not.
std::optional<QString> saveRestart(const tessarc::Program &program, const interp::RestartPlan &plan, const QString &file,
                                   const std::function<bool(qint64 done, qint64 total)> &progress = {});

// The restart program as a program of its own, in line stores of its own in the program folder,
// for a send. The stores go when it does.
class RestartCopy
{
public:
    // Makes the copy; nothing when done, else why not (and no stores are left).
    std::optional<QString> make(const tessarc::Program &program, const interp::RestartPlan &plan,
                                const std::function<bool(qint64 done, qint64 total)> &progress = {});
    tessarc::Program &program() { return m_copy.program(); }

private:
    compare::LoadedFile m_copy;
};

} // namespace comm
