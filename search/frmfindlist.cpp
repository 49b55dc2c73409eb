#include "frmfindlist.h"

#include "findlistmodel.h"
#include "globalvar.h"
#include "history.h"
#include "host.h"
#include "linestore.h"
#include "numbers.h"
#include "operation.h"
#include "printing.h"
#include "prompts.h"
#include "resultlist.h"
#include "steptext.h"
#include "tessarc.h"
#include "wordscan.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using search::named;

frmFindList::frmFindList(Host &host)
    : FindWindow(host, QStringLiteral("Find (List)"), QStringLiteral("Find (List)"), QStringLiteral("Find (List)"))
{
    setObjectName(QStringLiteral("frmFindList"));
    Label6 = named(new QLabel(QStringLiteral("Results"), this), "Label6");
    Label5 = named(new QLabel(QStringLiteral("Click on result to scroll to line."), this), "Label5");
    List1 = named(new search::ResultList(this), "List1");
    Command1 = named(new QPushButton(QStringLiteral("Print List"), this), "Command1");
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));

    m_results = new search::FindListModel(host.editor(), this);
    List1->setModel(m_results);
    List1->setMinimumSize(digit * 60, fontMetrics().lineSpacing() * 12);
    QFont fixed = List1->font();
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFamily(QStringLiteral("monospace"));
    List1->setFont(fixed);

    QGridLayout *rows = this->rows();
    auto *caption = new QHBoxLayout;
    caption->addWidget(Label6);
    caption->addStretch(1);
    caption->addWidget(Label5);
    rows->addLayout(caption, 2, 0, 1, 3);
    rows->addWidget(List1, 3, 0, 1, 3);
    rows->setRowStretch(3, 1);
    auto *print = new QHBoxLayout;
    print->addStretch(1);
    print->addWidget(Command1);
    rows->addLayout(print, 4, 0, 1, 3);
    // The list grows with the window.
    layout()->setSizeConstraint(QLayout::SetDefaultConstraint);

    pressWithEnter(Command1, Command1);
    connect(List1, &search::ResultList::clicked, this, &frmFindList::List1_Click);
    connect(List1, &search::ResultList::activated, this, &frmFindList::List1_Click);
    connect(Command1, &QPushButton::clicked, this, &frmFindList::Command1_Click);
    // Rows are read from the store as they are drawn: once the program changes they may no longer
    // be hits, and the list says so until it is run again.
    const auto changed = [this]() {
        if (m_ran && !m_outOfDate) {
            m_outOfDate = true;
            Form_Resize();
        }
    };
    tessarc::Program &program = host.editor().program();
    connect(&program.history(), &tessarc::History::changed, this, changed);
    connect(&program, &tessarc::Program::loaded, this, changed);
}

QString frmFindList::search(const tools::LineRange &range)
{
    m_results->clear();
    tessarc::LineStore store;
    host().editor().program().openStore(store);
    search::FindAllResult result = search::findAll(store, matcher(), range, [&](qint64 searched) {
        showProgress(searched, range);
        return true;
    });
    tellNote(search::listedText(qint64(result.lines.size()), result.expressions,
                                QString(QLatin1Char(tools::wordLetter(fields().axis)))));
    // A search that failed part way keeps the rows it found.
    m_results->setLines(std::move(result.lines));
    m_ran = true;
    m_outOfDate = false;
    Form_Resize();
    if (result.end == search::SearchEnd::Failed)
        return result.failure + QLatin1Char('.');
    return QString();
}

void frmFindList::Form_Resize()
{
    Label6->setText(QString::number(m_results->rowCount()) + QStringLiteral(" results.") +
                    (m_outOfDate ? QStringLiteral(" The program has changed since: search again.") : QString()));
}

void frmFindList::resizeEvent(QResizeEvent *event)
{
    SearchWindow::resizeEvent(event);
    if (m_results->rowCount() > 0)
        Form_Resize();
}

void frmFindList::List1_Click(int row)
{
    TESSARC &editor = host().editor();
    if (row < 0 || row >= m_results->rowCount() || editor.Run)
        return;
    // A row of a program since changed may name a line past its end: the view stays where it is.
    const qint64 line = m_results->line(row);
    if (line <= editor.numberOfLines())
        editor.setLine(static_cast<int>(line));
}

void frmFindList::Command1_Click()
{
    const QString title = host().values().brand.programTitle;
    const int rows = m_results->rowCount();
    if (rows == 0) {
        host().prompts().message(this, QStringLiteral("Nothing to print."), title);
        return;
    }
    OperationGuard guard(host());
    if (guard.refused())
        return;
    guard.lockView();
    const std::optional<QFont> font = printing::choosePrintFont(host(), this);
    if (!font)
        return;
    const std::optional<int> copies = printing::askCopies(host(), this, &functions::leadingNumber);
    if (!copies)
        return;
    printing::Listing listing;
    listing.header = {title + QLatin1Char(' '), QStringLiteral("Search Results:"), QString()};
    listing.bodyLines = rows;
    listing.body = [this, rows](const std::function<bool(const QString &)> &line) {
        tessarc::LineStore store;
        host().editor().program().openStore(store);
        for (int row = 0; row < rows && line(m_results->rowText(row, store)); ++row) {
        }
    };
    listing.footer = {QString::number(rows) + QStringLiteral(" Results")};
    printing::printListing(host(), this, listing, *font, *copies, QStringLiteral("Search Results"));
}
