#include "restartprogram.h"

#include "programfolder.h"
#include "safefile.h"

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

RestartCopy::~RestartCopy()
{
    if (!m_program.store.isEmpty())
        m_program.removeStores();
}

std::optional<QString> RestartCopy::make(const tessarc::Program &program, const interp::RestartPlan &plan,
                                         const std::function<bool(qint64, qint64)> &progress)
{
    const QString folder = tessarc::programFolder();
    m_claim = tessarc::StoreClaim::claimFree(folder);
    if (!m_claim)
        return QStringLiteral("the program folder %1 cannot be written").arg(folder);
    m_program.store = m_claim.store();
    m_program.scratch = m_claim.scratch();
    // Room for a line that carries the motion in force before its own words.
    int longest = 0;
    for (const interp::RestartPiece &piece : plan.pieces)
        longest = std::max(longest, static_cast<int>(piece.text.size()));
    m_program.recordLength = std::max(program.recordLength, longest + 2);
    m_program.lfEndsLine = true;
    const QString file = m_program.store + QStringLiteral(".restart");
    std::optional<QString> failure = saveRestart(program, plan, file, progress);
    if (!failure)
        failure = tessarc::failureOf([&] { m_program.load(file, {}); });
    QFile::remove(file);
    if (failure) {
        tessarc::Program::removeStoreFiles(m_program.store, m_program.scratch);
        m_program.store.clear();
        m_claim.release();
    }
    return failure;
}

} // namespace comm
