#include "frmsize.h"

#include "globalvar.h"
#include "host.h"
#include "operation.h"
#include "operationlock.h"
#include "prompts.h"
#include "tessarc.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QStyledItemDelegate>

#include <algorithm>
#include <new>

namespace {

// Shows a letter's row (letter, two tabs, largest, two tabs, smallest) as three aligned columns;
// the row itself stays as it is.
class ExtentRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant &value, const QLocale &) const override
    {
        const QStringList columns = value.toString().split(QStringLiteral("\t\t"));
        if (columns.size() != 3)
            return value.toString();
        return columns.at(0) + columns.at(1).rightJustified(18) + columns.at(2).rightJustified(18);
    }
};

QListView *listView(QWidget *parent, const char *name, QAbstractItemModel *model)
{
    auto *view = new QListView(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every row is one line of text: the list lays out millions of rows without measuring each.
    view->setUniformItemSizes(true);
    view->installEventFilter(parent);
    return view;
}

} // namespace

frmSize::frmSize(Host &host) : ToolWindow(host, nullptr, QStringLiteral("Find Size"))
{
    setObjectName(QStringLiteral("frmSize"));
    m_letters = new QStringListModel(this);
    m_positions = new tools::PositionListModel(this);

    Label1 = new QLabel(QStringLiteral("Click on an axis to list all positions of that axis in this program."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    List1 = listView(this, "List1", m_letters);
    Label3 = new QLabel(QStringLiteral("All positions of axis."), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label4 = new QLabel(QStringLiteral("Click on position below to scroll to line."), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    List2 = listView(this, "List2", m_positions);
    Label5 = new QLabel(this);
    Label5->setObjectName(QStringLiteral("Label5"));

    // The letters' rows in columns of a fixed-pitch font: the letter, its largest value and its
    // smallest.
    List1->setItemDelegate(new ExtentRowDelegate(List1));
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    List1->setFont(fixed);
    List1->setToolTip(QStringLiteral("Each row: the axis, its largest value and its smallest value."));
    const int listWidth = std::max(QFontMetrics(fixed).horizontalAdvance(QString(1 + 2 * 18, QLatin1Char('0'))),
                                   fontMetrics().horizontalAdvance(QStringLiteral("Line 2000000: X = -1234.56789"))) + 40;
    List1->setMinimumSize(listWidth, fontMetrics().height() * 12);
    List2->setMinimumSize(listWidth, fontMetrics().height() * 12);
    Label1->setMaximumWidth(listWidth);

    auto *letters = new QVBoxLayout;
    letters->addWidget(Label1);
    letters->addWidget(List1, 1);
    auto *positions = new QVBoxLayout;
    positions->addWidget(Label3);
    positions->addWidget(Label4);
    positions->addWidget(List2, 1);
    positions->addWidget(Label5);
    auto *row = new QHBoxLayout;
    row->addLayout(letters);
    row->addLayout(positions);
    ownFields()->addLayout(row);

    Go->setText(QStringLiteral("&Find Size"));
    // After every run, whichever started it, the button reads "Find Size" again.
    connect(&host.lock(), &tessarc::OperationLock::busyChanged, this, [this](bool busy) {
        if (!busy)
            Go->setText(QStringLiteral("Find Size"));
    });
    connect(List1, &QListView::clicked, this, &frmSize::List1_Click);
    connect(List2, &QListView::clicked, this, &frmSize::List2_Click);
}

tools::SizeRules frmSize::rules() const
{
    tools::SizeRules rules;
    rules.spaces = host().values().numbers.spaces;
    rules.comments = host().values().comments.rule();
    return rules;
}

QString frmSize::runOn(const tools::LineRange &range)
{
    m_letters->setStringList({});
    tools::SizeScan scan(rules());
    const QString stopped = readRange(range, [&scan](tessarc::LineNumber, QByteArrayView line) {
        scan.addLine(line);
        return true;
    });
    // Extents of part of the range would pass for the whole: a run that stopped lists nothing.
    if (stopped.isEmpty()) {
        const QStringList rows = scan.rows();
        m_letters->setStringList(rows);
        tellNote(rows.size() == 1 ? QStringLiteral("1 letter listed") : QStringLiteral("%1 letters listed").arg(rows.size()));
    }
    return stopped;
}

void frmSize::List1_Click(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const std::optional<tools::LineRange> range = checkRangeFields();
    if (!range) {
        say(host().values().messages.textNull);
        return;
    }
    const QString row = index.data().toString();
    const QChar letter = row.isEmpty() ? QChar() : row.at(0).toUpper();
    const QString question = QStringLiteral("Would you like to list all positions of the %1 axis from lines %2 to %3?")
                                 .arg(letter)
                                 .arg(range->first)
                                 .arg(range->last);
    if (host().prompts().ask(this, question, QStringLiteral("Confirm List."), Prompts::Buttons::YesNo)
        != Prompts::Answer::Yes)
        return;

    TESSARC &editor = host().editor();
    editor.loadLine(editor.curLine);
    OperationGuard guard(host(), Go);
    if (guard.refused())
        return;
    guard.lockView();
    m_positions->clear();
    tools::PositionScan scan(letter, rules());
    QString stopped;
    try {
        stopped = readRange(*range, [&scan](tessarc::LineNumber line, QByteArrayView text) {
            scan.addLine(line.value, text);
            return true;
        });
    } catch (const std::bad_alloc &) {
        stopped = QStringLiteral("Out of memory: the positions found so far are listed.");
    }
    // The positions found before a failure are listed, and the message says where it stopped.
    m_positions->setPositions(scan.letter(), scan.takePositions());
    guard.release();
    Label3->setText(QStringLiteral("All positions of %1.").arg(scan.letter()));
    Label5->setText(QStringLiteral("%1 positions.").arg(m_positions->rowCount()));
    if (!stopped.isEmpty())
        say(stopped);
}

void frmSize::List2_Click(const QModelIndex &index)
{
    const qint64 line = m_positions->lineAt(index.row());
    if (line > 0)
        host().editor().setLine(static_cast<int>(line));
}

bool frmSize::eventFilter(QObject *watched, QEvent *event)
{
    // Enter on a list acts as a click on its current row, and does not press Go.
    if ((watched == List1 || watched == List2) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            auto *view = static_cast<QListView *>(watched);
            if (view->currentIndex().isValid())
                emit view->clicked(view->currentIndex());
            return true;
        }
    }
    return ToolWindow::eventFilter(watched, event);
}
