#include "programsession.h"

#include "controlerror.h"
#include "program.h"
#include "recovery.h"
#include "tessarc.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

ProgramSession::ProgramSession(tessarc::Program &program, QString folder, QString stem)
    : m_program(program), m_folder(std::move(folder)), m_stem(std::move(stem))
{
}

void ProgramSession::claimFreshStores()
{
    if (!m_stem.isEmpty()) {
        m_claim = m_program.useStores(m_folder, m_stem);
        return;
    }
    // Claimed as it is chosen: an instance choosing at the same moment takes another number, even
    // while this one's store is still being written.
    m_claim = tessarc::StoreClaim::claimFree(m_folder);
    if (m_claim) {
        m_program.store = m_claim.store();
        m_program.scratch = m_claim.scratch();
        return;
    }
    // A folder where nothing can be claimed cannot hold a store either: the load says so.
    const QDir folder(m_folder);
    m_program.store = folder.filePath(QStringLiteral("0.qen.tmp"));
    m_program.scratch = folder.filePath(QStringLiteral("0.2.qen.tmp"));
}

bool ProgramSession::open(const QString &path, int recordLength)
{
    const QString oldStore = m_program.store;
    const QString oldScratch = m_program.scratch;
    m_program.history().clear(); // it belongs to the program being replaced
    const tessarc::StoreClaim previous = std::move(m_claim); // let go once its stores are gone
    claimFreshStores();
    m_program.recordLength = recordLength; // a recovered program kept the record length it was stored with
    const QString file = QFileInfo(path).absoluteFilePath();
    bool loaded = false;
    if (m_view) {
        loaded = m_view->loadFile(file);
    } else {
        // A failed load has let go of the stores.
        m_error = tessarc::failureOf([&] { m_program.load(file, {}); }).value_or(QString());
        loaded = m_error.isEmpty();
    }
    // The program held before is let go: its stores go now, not at the next start.
    if (oldStore != m_program.store)
        tessarc::Program::removeStoreFiles(oldStore, oldScratch);
    return loaded;
}

bool ProgramSession::save(const QString &path)
{
    if (m_view)
        return m_view->saveFile(path);
    m_error = tessarc::failureOf([&] { m_program.save(path, {}); }).value_or(QString());
    return m_error.isEmpty();
}

bool ProgramSession::openLeft(const recovery::LeftStore &left, tessarc::StoreClaim claim, QString &lost)
{
    Q_ASSERT(m_view);
    const QString ownStore = m_program.store;
    const QString ownScratch = m_program.scratch;
    m_program.store = left.store;
    m_program.scratch = left.scratch;
    if (!m_view->openRecovered(*left.journal, lost)) {
        // Nothing was opened: the store stays for the next start.
        m_program.store = ownStore;
        m_program.scratch = ownScratch;
        return false;
    }
    m_claim = std::move(claim);
    return true;
}
