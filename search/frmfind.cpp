#include "frmfind.h"

#include "globalvar.h"
#include "host.h"
#include "linestore.h"
#include "prompts.h"
#include "tessarc.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

Find::Find(Host &host) : FindWindow(host, QStringLiteral("Find"), QStringLiteral("Find"), QStringLiteral("Find Next"))
{
    setObjectName(QStringLiteral("Find"));
}

QString Find::search(const tools::LineRange &range)
{
    m_hit.reset();
    tessarc::LineStore store;
    store.open(host().editor().tempFile, host().editor().recLen, false);
    const search::FindResult result = search::findNext(store, matcher(), range, 0, [&](qint64 searched) {
        showProgress(searched, range);
        return true;
    });
    if (result.end == search::SearchEnd::Failed)
        return result.failure + QLatin1Char('.');
    m_hit = result.hit;
    tellNote(m_hit ? QStringLiteral("found on line %1").arg(m_hit->line) : QStringLiteral("nothing found"));
    return QString();
}

void Find::afterRun(QPushButton *button)
{
    TESSARC &editor = host().editor();
    if (!m_hit) {
        // The range holds no hit: StartLine stays, so the next press searches the same range.
        host().prompts().message(this, QStringLiteral("Done Searching."),
                                 host().values().brand.programTitle + QStringLiteral(" SEARCH"));
        return;
    }
    editor.setLine(static_cast<int>(m_hit->line));
    // A hit on the range's last line puts StartLine past it: the next press fails the range check.
    StartLine->setText(QString::number(m_hit->line + 1));
    LINE2LINE->setChecked(true);
    editor.selectText(static_cast<double>(m_hit->view.start), static_cast<double>(m_hit->view.length));
    // The hit stays selected in the view while Find Next waits here for the next press.
    activateWindow();
    button->setFocus(Qt::OtherFocusReason);
}
