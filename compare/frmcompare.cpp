#include "frmcompare.h"

#include "eventpump.h"
#include "globalvar.h"
#include "history.h"
#include "host.h"
#include "operation.h"
#include "prompts.h"
#include "tessarc.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPoint>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

namespace compare {

// ---------------------------------------------------------------- the rows

CompareModel::CompareModel(tessarc::Program &a, tessarc::Program &b, QObject *parent)
    : QAbstractTableModel(parent), m_a(a), m_b(b)
{
}

void CompareModel::setResult(const Result &result, const Rules &rules)
{
    beginResetModel();
    m_rules = rules;
    m_segments.clear();
    m_rows = 0;
    qint64 a = 1, b = 1; // the next line of each
    const auto equal = [&](qint64 upToA) {
        if (upToA > a) {
            m_segments.append({m_rows, upToA - a, a, upToA - a, b, upToA - a, -1});
            m_rows += upToA - a;
            b += upToA - a;
            a = upToA;
        }
    };
    for (qsizetype i = 0; i < result.differences.size(); ++i) {
        const Difference &d = result.differences[i];
        equal(d.aCount > 0 ? d.aFirst : d.aFirst + 1);
        const qint64 rows = std::max(d.aCount, d.bCount);
        m_segments.append({m_rows, rows, a, d.aCount, b, d.bCount, i});
        m_rows += rows;
        a += d.aCount;
        b += d.bCount;
    }
    equal(result.aLines + 1);
    endResetModel();
}

int CompareModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(std::min<qint64>(m_rows, INT_MAX));
}

const CompareModel::Segment &CompareModel::segmentOf(qint64 row) const
{
    const auto it = std::upper_bound(m_segments.begin(), m_segments.end(), row, [](qint64 r, const Segment &s) { return r < s.row; });
    return *(it - 1);
}

qint64 CompareModel::rowOf(qsizetype difference) const
{
    for (const Segment &s : m_segments) {
        if (s.difference == difference)
            return s.row;
    }
    return -1;
}

QByteArray CompareModel::lineOf(tessarc::Program &program, qint64 line) const
{
    const QList<QByteArray> lines = program.readLines(tessarc::LineNumber(line), 1);
    return lines.isEmpty() ? QByteArray() : lines.first();
}

QVariant CompareModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || m_segments.isEmpty())
        return {};
    const Segment &s = segmentOf(index.row());
    const qint64 k = index.row() - s.row;
    const bool left = index.column() == ALine || index.column() == AText;
    const bool present = left ? k < s.aCount : k < s.bCount;
    const qint64 line = (left ? s.aFirst : s.bFirst) + k;
    switch (role) {
    case Qt::DisplayRole:
        if (!present)
            return {};
        if (index.column() == ALine || index.column() == BLine)
            return QString::number(line);
        return QString::fromLatin1(lineOf(left ? m_a : m_b, line));
    case Qt::BackgroundRole:
        if (s.difference < 0)
            return {};
        if (s.aCount > 0 && s.bCount > 0 && k < std::min(s.aCount, s.bCount))
            return changedColour();
        return present ? (left ? removedColour() : insertedColour()) : QVariant();
    case kChangedWordsRole: {
        if (s.difference < 0 || !present || k >= std::min(s.aCount, s.bCount) || (index.column() != AText && index.column() != BText))
            return {};
        const ChangedWords words = changedWords(lineOf(m_a, s.aFirst + k), lineOf(m_b, s.bFirst + k), m_rules);
        QList<QPoint> spans;
        for (const Span &span : left ? words.a : words.b)
            spans.append(QPoint(static_cast<int>(span.start), static_cast<int>(span.length)));
        return QVariant::fromValue(spans);
    }
    case Qt::TextAlignmentRole:
        return index.column() == ALine || index.column() == BLine ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
        return {};
    }
}

QVariant CompareModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const names[] = {"Line", "Open program", "Line", "Other program"};
    return QString::fromLatin1(names[section]);
}

namespace {

// A text cell with its changed words marked behind them.
class WordsDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const QList<QPoint> spans = index.data(CompareModel::kChangedWordsRole).value<QList<QPoint>>();
        if (spans.isEmpty())
            return;
        const QString text = index.data(Qt::DisplayRole).toString();
        const QFontMetrics metrics(option.font);
        const int margin = option.widget ? option.widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1 : 4;
        painter->save();
        painter->setFont(option.font);
        for (const QPoint &span : spans) {
            const int x = option.rect.left() + margin + metrics.horizontalAdvance(text.left(span.x()));
            const QString word = text.mid(span.x(), span.y());
            const QRect box(x, option.rect.top() + 1, metrics.horizontalAdvance(word), option.rect.height() - 2);
            painter->fillRect(box, CompareModel::wordColour());
            painter->setPen(option.palette.color(QPalette::Text));
            painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter, word);
        }
        painter->restore();
    }
};

} // namespace

// ---------------------------------------------------------------- the window

frmCompare::frmCompare(Host &host, QWidget *parent) : QWidget(parent ? parent : host.mainWindow(), Qt::Window), m_host(host)
{
    setObjectName(QStringLiteral("frmCompare"));
    setWindowTitle(QStringLiteral("Compare"));
    host.applyIcon(this);
    auto *column = new QVBoxLayout(this);
    auto *rules = new QHBoxLayout;
    rules->addWidget(new QLabel(QStringLiteral("Count:"), this));
    chkN = new QCheckBox(QStringLiteral("N words"), this);
    chkSpaces = new QCheckBox(QStringLiteral("Spaces"), this);
    chkCase = new QCheckBox(QStringLiteral("Case"), this);
    chkValue = new QCheckBox(QStringLiteral("Numbers as written"), this);
    chkComments = new QCheckBox(QStringLiteral("Comments"), this);
    chkComments->setChecked(true);
    for (QCheckBox *box : {chkN, chkSpaces, chkCase, chkValue, chkComments})
        rules->addWidget(box);
    rules->addWidget(new QLabel(QStringLiteral("Tolerance"), this));
    txtTolerance = new QLineEdit(this);
    txtTolerance->setMaximumWidth(txtTolerance->fontMetrics().horizontalAdvance(QStringLiteral("0.000000")) + 12);
    rules->addWidget(txtTolerance);
    cmdCompare = new QPushButton(QStringLiteral("&Compare"), this);
    rules->addWidget(cmdCompare);
    rules->addStretch(1);
    column->addLayout(rules);
    grid = new QTableView(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
    grid->setItemDelegate(new WordsDelegate(grid));
    column->addWidget(grid, 1);
    auto *buttons = new QHBoxLayout;
    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    cmdPrevious = new QPushButton(QStringLiteral("Previous"), this);
    cmdNext = new QPushButton(QStringLiteral("Next"), this);
    cmdTake = new QPushButton(QStringLiteral("&Take Over"), this);
    cmdPrevious->setToolTip(QStringLiteral("The previous difference (Shift+F8)"));
    cmdNext->setToolTip(QStringLiteral("The next difference (F8)"));
    cmdTake->setToolTip(QStringLiteral("Puts the other program's lines of this difference in the open program (one Undo step)"));
    buttons->addWidget(lblCount, 1);
    buttons->addWidget(cmdPrevious);
    buttons->addWidget(cmdNext);
    buttons->addWidget(cmdTake);
    column->addLayout(buttons);
    resize(980, 620);

    const std::pair<QCheckBox *, const char *> names[] = {{chkN, "chkN"}, {chkSpaces, "chkSpaces"}, {chkCase, "chkCase"},
                                                          {chkValue, "chkValue"}, {chkComments, "chkComments"}};
    for (const auto &[box, name] : names)
        box->setObjectName(QString::fromLatin1(name));
    txtTolerance->setObjectName(QStringLiteral("txtTolerance"));
    cmdCompare->setObjectName(QStringLiteral("cmdCompare"));
    cmdPrevious->setObjectName(QStringLiteral("cmdPrevious"));
    cmdNext->setObjectName(QStringLiteral("cmdNext"));
    cmdTake->setObjectName(QStringLiteral("cmdTake"));

    connect(cmdCompare, &QPushButton::clicked, this, [this] {
        if (m_running)
            m_stop = true;
        else
            cmdCompare_Click();
    });
    connect(cmdNext, &QPushButton::clicked, this, &frmCompare::cmdNext_Click);
    connect(cmdPrevious, &QPushButton::clicked, this, &frmCompare::cmdPrevious_Click);
    connect(cmdTake, &QPushButton::clicked, this, &frmCompare::cmdTake_Click);
    auto *next = new QShortcut(QKeySequence(Qt::Key_F8), this);
    auto *previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8), this);
    connect(next, &QShortcut::activated, this, &frmCompare::cmdNext_Click);
    connect(previous, &QShortcut::activated, this, &frmCompare::cmdPrevious_Click);
    connect(&host.editor().program(), &tessarc::Program::linesChanged, this, &frmCompare::programChanged);
    connect(&host.editor().program(), &tessarc::Program::loaded, this, &frmCompare::programChanged);
}

frmCompare::~frmCompare()
{
    grid->setModel(nullptr);
}

void frmCompare::Form_Load()
{
    txtTolerance->setText(QString::number(m_host.values().compare.tolerance, 'g', QLocale::FloatingPointShortest));
    const QString open = m_host.editor().lfile;
    const QString chosen = m_host.prompts().openFileName(this, m_otherFile.isEmpty() ? QFileInfo(open).absolutePath() : m_otherFile);
    if (chosen.isEmpty()) {
        if (!m_model)
            close();
        return;
    }
    compareWith(chosen);
}

bool frmCompare::compareWith(const QString &file)
{
    grid->setModel(nullptr);
    m_model.reset();
    auto other = std::make_unique<LoadedFile>();
    const int recordLength = std::max(m_host.values().io.recLen, m_host.editor().program().recordLength);
    if (const std::optional<QString> failure = other->load(file, recordLength)) {
        m_host.prompts().message(this, QStringLiteral("%1 could not be read: %2").arg(file, *failure), QStringLiteral("Compare"));
        return false;
    }
    m_other = std::move(other);
    m_otherFile = file;
    setWindowTitle(QStringLiteral("Compare: %1 with %2").arg(QFileInfo(m_host.editor().lfile).fileName(), QFileInfo(file).fileName()));
    m_model = std::make_unique<CompareModel>(m_host.editor().program(), m_other->program());
    grid->setModel(m_model.get());
    grid->horizontalHeader()->setSectionResizeMode(CompareModel::AText, QHeaderView::Stretch);
    grid->horizontalHeader()->setSectionResizeMode(CompareModel::BText, QHeaderView::Stretch);
    for (int c : {CompareModel::ALine, CompareModel::BLine})
        grid->setColumnWidth(c, grid->fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 8);
    return cmdCompare_Click();
}

Rules frmCompare::rulesOfTheBoxes(bool &ok)
{
    Rules rules;
    rules.comments = m_host.values().comments.rule();
    rules.ignoreN = !chkN->isChecked();
    rules.ignoreSpaces = !chkSpaces->isChecked();
    rules.ignoreCase = !chkCase->isChecked();
    rules.byValue = !chkValue->isChecked();
    rules.ignoreComments = !chkComments->isChecked();
    const QString text = txtTolerance->text().trimmed();
    rules.tolerance = text.isEmpty() ? 0.0 : text.toDouble(&ok);
    ok = text.isEmpty() || (ok && std::isfinite(rules.tolerance) && rules.tolerance >= 0.0);
    return rules;
}

bool frmCompare::cmdCompare_Click()
{
    if (!m_model)
        return false;
    bool ok = false;
    const Rules rules = rulesOfTheBoxes(ok);
    if (!ok) {
        m_host.prompts().message(this, QStringLiteral("The tolerance must be a number from 0; \"%1\" is not one.").arg(txtTolerance->text()),
                                 QStringLiteral("Compare"));
        return false;
    }
    TESSARC &editor = m_host.editor();
    editor.loadLine(editor.curLine); // the page as typed, into the store
    OperationGuard guard(m_host);
    if (guard.refused())
        return false;
    guard.lockView();
    m_running = true;
    m_stop = false;
    tessarc::EventPump pump;
    cmdCompare->setText(QStringLiteral("Stop 0%"));
    pump.now();
    Result result;
    ProgramFeed a(editor.program()), b(m_other->program());
    const std::optional<QString> failure = tessarc::failureOf([&] {
        result = comparePrograms(a, b, rules, [&](qint64 done, qint64 total) {
            cmdCompare->setText(QStringLiteral("Stop %1%").arg(total > 0 ? std::min<qint64>(99, done * 100 / total) : 0));
            pump.maybe();
            return !m_stop;
        });
    });
    m_running = false;
    guard.release();
    cmdCompare->setText(QStringLiteral("&Compare"));
    if (failure) {
        m_host.prompts().message(this, QStringLiteral("The programs could not be compared: %1").arg(*failure), QStringLiteral("Compare"));
        return false;
    }
    if (result.cancelled) {
        lblCount->setText(QStringLiteral("The compare was stopped."));
        return false;
    }
    m_result = result;
    m_rules = rules;
    m_stale = false;
    m_model->setResult(m_result, m_rules);
    m_current = m_result.differences.isEmpty() ? -1 : 0;
    showCurrent();
    m_host.showNote(verdict(m_result, QFileInfo(editor.lfile).fileName(), QFileInfo(m_otherFile).fileName()));
    return true;
}

void frmCompare::showCurrent()
{
    const qsizetype n = m_result.differences.size();
    QString text = m_result.identical() ? QStringLiteral("identical") : countText(m_result);
    if (m_current >= 0)
        text += QStringLiteral(": difference %1 of %2").arg(m_current + 1).arg(n);
    if (m_result.nothingInCommon)
        text += QStringLiteral("; the programs have no line in common");
    if (m_stale)
        text += QStringLiteral(". The open program has changed since: Compare again.");
    lblCount->setText(text);
    cmdNext->setEnabled(m_current + 1 < n);
    cmdPrevious->setEnabled(m_current > 0);
    cmdTake->setEnabled(m_current >= 0 && !m_stale);
    if (m_current >= 0 && m_model) {
        const QModelIndex at = m_model->index(static_cast<int>(m_model->rowOf(m_current)), CompareModel::AText);
        grid->scrollTo(at, QAbstractItemView::PositionAtCenter);
        grid->selectRow(at.row());
    }
}

void frmCompare::cmdNext_Click()
{
    if (m_current + 1 < m_result.differences.size()) {
        ++m_current;
        showCurrent();
    }
}

void frmCompare::cmdPrevious_Click()
{
    if (m_current > 0) {
        --m_current;
        showCurrent();
    }
}

void frmCompare::cmdTake_Click()
{
    if (m_current < 0 || m_stale || !m_model)
        return;
    const Difference d = m_result.differences[m_current];
    TESSARC &editor = m_host.editor();
    tessarc::Program &program = editor.program();
    editor.loadLine(editor.curLine);
    OperationGuard guard(m_host);
    if (guard.refused())
        return;
    const qint64 first = d.aCount > 0 ? d.aFirst : d.aFirst + 1;
    m_taking = true;
    const std::optional<QString> failure = tessarc::failureOf([&] {
        const QList<QByteArray> lines = d.bCount > 0 ? m_other->program().readLines(tessarc::LineNumber(d.bFirst), d.bCount) : QList<QByteArray>();
        tessarc::ChangeRecord change(program, QStringLiteral("Take Over"), tessarc::LineNumber(first));
        const QList<QByteArray> old = program.readLines(tessarc::LineNumber(first), d.aCount);
        program.replaceLines(tessarc::LineNumber(first), d.aCount, lines);
        change.keepLines(tessarc::LineNumber(first), old, lines.size());
        change.finish();
    });
    m_taking = false;
    guard.release();
    if (failure) {
        m_host.prompts().message(this, QStringLiteral("The difference was not taken over: %1").arg(*failure), QStringLiteral("Compare"));
        return;
    }
    // The lines after it moved by what it added or took away; the rest of the compare holds.
    const qint64 shift = d.bCount - d.aCount;
    m_result.differences.removeAt(m_current);
    for (qsizetype i = m_current; i < m_result.differences.size(); ++i)
        m_result.differences[i].aFirst += shift;
    m_result.aLines += shift;
    m_model->setResult(m_result, m_rules);
    if (m_current >= m_result.differences.size())
        m_current = m_result.differences.size() - 1;
    editor.showLineWithCaret(std::max<qint64>(1, std::min(first, program.lineCount())));
    showCurrent();
}

void frmCompare::programChanged()
{
    if (m_taking || m_stale || !m_model)
        return;
    m_stale = true;
    showCurrent();
}

void registerWindows(Host &host)
{
    host.addWindow(
        QStringLiteral("comparewith"), [](Host &h) -> QWidget * { return new frmCompare(h); },
        [](QWidget *window) {
            auto *w = static_cast<frmCompare *>(window);
            w->show();
            w->raise();
            w->Form_Load();
        });
}

void frmCompare::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace compare
