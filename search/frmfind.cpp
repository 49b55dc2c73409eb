#include "frmfind.h"

#include "globalvar.h"
#include "host.h"
#include "linestore.h"
#include "prompts.h"
#include "tessarc.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>

#include <algorithm>

Find::Find(Host &host) : FindWindow(host, QStringLiteral("Find"), QStringLiteral("Find"), QStringLiteral("Find Next"))
{
    setObjectName(QStringLiteral("Find"));
}

bool Find::searchAgain(bool backwards)
{
    QPushButton *button = m_lastPressed ? m_lastPressed : (txtFind->text().isEmpty() ? nullptr : Go);
    if (!button || recorder())
        return false;
    m_backwards = backwards;
    const auto forwardsAgain = qScopeGuard([this]() { m_backwards = false; });
    button->click();
    return true;
}

bool Find::startWasStepped() const
{
    return m_steppedStart > 0 && LINE2LINE->isChecked() && StartLine->text() == QString::number(m_steppedStart);
}

std::optional<tools::LineRange> Find::checkRangeFields() const
{
    if (!m_backwards)
        return FindWindow::checkRangeFields();
    tools::RangeFields fields = rangeFields();
    if (startWasStepped())
        fields.startLine = QString::number(m_firstOfRange);
    std::optional<tools::LineRange> range = tools::checkRange(fields, host().editor().numberOfLines());
    if (range)
        range->last = std::min(range->last, (m_hit ? m_hit->line : host().editor().curLine) - 1);
    return range;
}

QString Find::search(const tools::LineRange &range)
{
    m_lastPressed = pressed();
    if (!m_backwards && !startWasStepped())
        m_firstOfRange = range.first;
    m_hit.reset();
    tessarc::LineStore store;
    host().editor().program().openStore(store);
    const auto progress = [&](qint64 searched) {
        showProgress(searched, range);
        return true;
    };
    const search::FindResult result = m_backwards ? search::findPrevious(store, matcher(), range, progress)
                                                  : search::findNext(store, matcher(), range, 0, progress);
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
    m_steppedStart = m_hit->line + 1;
    StartLine->setText(QString::number(m_steppedStart));
    LINE2LINE->setChecked(true);
    editor.selectText(static_cast<double>(m_hit->view.start), static_cast<double>(m_hit->view.length));
    // The hit stays selected in the view while Find Next waits here for the next press.
    activateWindow();
    button->setFocus(Qt::OtherFocusReason);
}
