#include "restartprogram.h"

#include "programfolder.h"
#include "safefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace comm {

interp::RestartPlan planRestartOf(const tessarc::Program &program, const interp::Setup &setup,
                                  const interp::MachineSetup &machine, qint64 line, int pass,
                                  const std::function<bool(qint64)> &progress)
{
    interp::RestartPlan plan;
    const std::optional<QString> failure = tessarc::failureOf([&] {
        interp::StoreLines lines(program.store, program.recordLength, program.lineCount());
        plan = interp::planRestart(lines, setup, machine, line, pass, progress);
    });
    if (failure) {
        plan = interp::RestartPlan();
        plan.line = line;
        plan.pass = pass;
        plan.refusal = QStringLiteral("the program could not be read: %1").arg(*failure);
    }
    return plan;
}

QByteArray lineEndOf(const tessarc::Program &program)
{
    switch (program.saveEnds) {
    case tessarc::Program::SaveEnds::AsLoaded: return program.loadedEnd;
    case tessarc::Program::SaveEnds::Lf: return QByteArrayLiteral("\n");
    case tessarc::Program::SaveEnds::CrLf: break;
    }
    return QByteArrayLiteral("\r\n");
}

std::optional<QString> saveRestart(const tessarc::Program &program, const interp::RestartPlan &plan, const QString &file,
                                   const std::function<bool(qint64, qint64)> &progress)
{
    if (!plan.ok)
        return plan.refusal;
    for (const QString &own : program.storeFiles()) {
        if (!own.isEmpty() && QFileInfo(own).absoluteFilePath() == QFileInfo(file).absoluteFilePath())
            return QStringLiteral("%1 is one of the program's own working files").arg(file);
    }
    if (QFileInfo(program.path).absoluteFilePath() == QFileInfo(file).absoluteFilePath())
        return QStringLiteral("%1 is the program itself; a restart program needs a file of its own").arg(file);
    tessarc::SafeFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    QString error;
    bool written = false;
    const std::optional<QString> failure = tessarc::failureOf([&] {
        interp::StoreLines lines(program.store, program.recordLength, program.lineCount());
        written = interp::writeRestart(lines, plan, out, lineEndOf(program), error, progress);
    });
    if (failure || !written) {
        out.cancelWriting();
        out.commit();
        return failure ? *failure : error;
    }
    if (!out.commit())
        return out.errorString();
    return std::nullopt;
}

std::optional<QString> RestartCopy::make(const tessarc::Program &program, const interp::RestartPlan &plan,
                                         const std::function<bool(qint64, qint64)> &progress)
{
    // Room for a line that carries the motion in force before its own words.
    int longest = 0;
    for (const interp::RestartPiece &piece : plan.pieces)
        longest = std::max(longest, static_cast<int>(piece.text.size()));
    const QString file = QDir(tessarc::programFolder()).filePath(QStringLiteral("restart-%1.tmp").arg(QCoreApplication::applicationPid()));
    std::optional<QString> failure = saveRestart(program, plan, file, progress);
    if (!failure)
        failure = m_copy.load(file, std::max(program.recordLength, longest + 2));
    QFile::remove(file);
    return failure;
}

} // namespace comm
