#include "programsession.h"

#include "program.h"
#include "recovery.h"
#include "tessarc.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

ProgramSession::ProgramSession(TESSARC &editor, QString folder, QString stem)
    : m_editor(editor), m_folder(std::move(folder)), m_stem(std::move(stem))
{
}

void ProgramSession::claimFreshStores()
{
    if (!m_stem.isEmpty()) {
        m_claim = m_editor.program().useStores(m_folder, m_stem);
        return;
    }
    // Claimed as it is chosen: an instance choosing at the same moment takes another number, even
    // while this one's store is still being written.
    m_claim = tessarc::StoreClaim::claimFree(m_folder);
    if (m_claim) {
        m_editor.tempFile = m_claim.store();
        m_editor.tempFile2 = m_claim.scratch();
        return;
    }
    // A folder where nothing can be claimed cannot hold a store either: the load says so.
    const QDir folder(m_folder);
    m_editor.tempFile = folder.filePath(QStringLiteral("0.qen.tmp"));
    m_editor.tempFile2 = folder.filePath(QStringLiteral("0.2.qen.tmp"));
}

bool ProgramSession::open(const QString &path, int recordLength)
{
    const QString oldStore = m_editor.tempFile;
    const QString oldScratch = m_editor.tempFile2;
    m_editor.program().history().clear(); // it belongs to the program being replaced
    const tessarc::StoreClaim previous = std::move(m_claim); // let go once its stores are gone
    claimFreshStores();
    m_editor.recLen = recordLength; // a recovered program kept the record length it was stored with
    const bool loaded = m_editor.loadFile(QFileInfo(path).absoluteFilePath());
    // The control has let go of the program it held before: its stores go now, not at the next start.
    if (oldStore != m_editor.tempFile)
        tessarc::Program::removeStoreFiles(oldStore, oldScratch);
    return loaded;
}

bool ProgramSession::openLeft(const recovery::LeftStore &left, tessarc::StoreClaim claim, QString &lost)
{
    const QString ownStore = m_editor.tempFile;
    const QString ownScratch = m_editor.tempFile2;
    m_editor.tempFile = left.store;
    m_editor.tempFile2 = left.scratch;
    if (!m_editor.openRecovered(*left.journal, lost)) {
        // Nothing was opened: the store stays for the next start.
        m_editor.tempFile = ownStore;
        m_editor.tempFile2 = ownScratch;
        return false;
    }
    m_claim = std::move(claim);
    return true;
}
