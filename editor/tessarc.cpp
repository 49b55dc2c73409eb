#include "tessarc.h"

#include "colorizer.h"
#include "eventpump.h"
#include "linereader.h"
#include "linestore.h"
#include "notation.h"
#include "pageview.h"
#include "programfolder.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QSaveFile>
#include <QScrollBar>
#include <QStyle>
#include <QPlainTextDocumentLayout>
#include <QRegularExpressionValidator>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include <climits>
#include <cmath>
#include <cstdio>

using tessarc::CharOffset;
using tessarc::ControlError;
using tessarc::LineNumber;
using tessarc::PageRow;

namespace {

const QString kNoCount = QStringLiteral("0000000000");

tessarc::ControlPrompts &defaultPrompts()
{
    static tessarc::ControlPrompts prompts;
    return prompts;
}

// The whole number nearest to x, halves to even.
qint64 roundEven(double x)
{
    return static_cast<qint64>(std::nearbyint(x));
}

// done × 100 ÷ total to the nearest whole number, in 64-bit arithmetic.
qint64 percentOf(qint64 done, qint64 total)
{
    if (total <= 0)
        return 100;
    return std::min<qint64>(100, roundEven(static_cast<double>(done) * 100.0 / static_cast<double>(total)));
}

// The leading number of a text, as a machinist types it into a number box: optional spaces and
// sign, digits and one point. Anything else ends it; no digits gives 0.
double leadingValue(const QString &text)
{
    QByteArray accepted;
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        accepted.append(static_cast<char>(text.at(i++).unicode()));
    bool point = false;
    for (; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u == '.' && !point)
            point = true;
        else if (u < '0' || u > '9')
            break;
        accepted.append(static_cast<char>(u));
    }
    return tessarc::numberValue(accepted);
}

int clampToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= INT_MAX)
        return INT_MAX;
    if (v <= INT_MIN)
        return INT_MIN;
    return static_cast<int>(roundEven(v));
}

// A number with thousands separators: 1234567 gives "1,234,567"; 0 gives nothing.
QString groupThousands(qint64 n)
{
    if (n == 0)
        return QString();
    QString digits = QString::number(n < 0 ? -n : n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return n < 0 ? QStringLiteral("-") + digits : digits;
}

// The bytes of a page line as the store keeps them: the view's characters are single bytes
// (Latin-1) and the bracketed names become control characters again.
QByteArray toStoreBytes(const QString &viewLine)
{
    return tessarc::notationToControl(viewLine.toLatin1());
}

} // namespace

TESSARC::TESSARC(QWidget *parent)
    : QWidget(parent), m_prompts(&defaultPrompts()), m_pump(new tessarc::EventPump())
{
    setObjectName(QStringLiteral("TESSARC1"));

    txtmain = new tessarc::PageView(this);
    lineNumbers = new tessarc::LineGutter(txtmain, this);
    // Empty until a program is open (kNoCount only sizes the boxes).
    c = new QLineEdit(this);
    t = new QLabel(this);
    formatT = new QLabel(this);
    scroll = new QScrollBar(Qt::Vertical, this);
    l = new QToolButton(this);
    r = new QToolButton(this);
    TmrSUP = new QTimer(this);
    TmrSDOWN = new QTimer(this);
    progressbar = new tessarc::ProgressBox(this);
    Notes = new tessarc::StatusNote(this);
    e = new QLabel(QStringLiteral("QEN"), this);

    txtmain->setObjectName(QStringLiteral("txtmain"));
    lineNumbers->setObjectName(QStringLiteral("lineNumbers"));
    c->setObjectName(QStringLiteral("c"));
    t->setObjectName(QStringLiteral("t"));
    formatT->setObjectName(QStringLiteral("formatT"));
    scroll->setObjectName(QStringLiteral("scroll"));
    l->setObjectName(QStringLiteral("l"));
    r->setObjectName(QStringLiteral("r"));
    TmrSUP->setObjectName(QStringLiteral("TmrSUP"));
    TmrSDOWN->setObjectName(QStringLiteral("TmrSDOWN"));
    progressbar->setObjectName(QStringLiteral("progressbar"));
    Notes->setObjectName(QStringLiteral("Notes"));
    e->setObjectName(QStringLiteral("e"));

    c->setToolTip(QStringLiteral("This is the line your viewing."));
    c->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), c));
    t->setToolTip(QStringLiteral("This is the total number of lines in the current file."));
    formatT->setToolTip(QStringLiteral("This is the number of lines in the current file."));
    l->setToolTip(QStringLiteral("Scroll up one line."));
    r->setToolTip(QStringLiteral("Scroll down one line."));
    l->setArrowType(Qt::UpArrow);
    r->setArrowType(Qt::DownArrow);
    l->setAutoRaise(true);
    r->setAutoRaise(true);
    l->hide();
    r->hide();

    // The authoritative total stays in `t`; what the machinist reads is its grouped form.
    t->hide();
    formatT->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Notes->setAlignment(Qt::AlignCenter);
    Notes->setAttribute(Qt::WA_TranslucentBackground);
    Notes->installEventFilter(this);
    QFont brand(QStringLiteral("Arial"));
    brand.setBold(true);
    e->setFont(brand);
    e->setAlignment(Qt::AlignCenter);

    TmrSUP->setInterval(75);
    TmrSDOWN->setInterval(75);
    scroll->setRange(0, 0);
    scroll->setTracking(true);

    QFont viewFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    viewFont.setPointSizeF(10.0);
    txtmain->setFont(viewFont);
    lineNumbers->setFont(viewFont);
    txtmain->document()->setDocumentMargin(2);

    // Start-up: no wrapping, not busy, page size from the font, default store paths, margins.
    Run = false;
    const QString folder = tessarc::programFolder();
    tempFile = QDir(folder).filePath(QStringLiteral("qen.tmp.1"));
    tempFile2 = QDir(folder).filePath(QStringLiteral("qen.tmp.2"));
    m_colorizer = new tessarc::Colorizer(txtmain->document(), m_colorSlots, startComment, endComment, lineComment);
    connect(&m_program, &tessarc::Program::lineCountChanged, this, &TESSARC::t_Change);
    const int statusHeight = QFontMetrics(c->font()).height() + 8;
    m_bottomMargin = std::max(14, statusHeight);
    m_rightMargin = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2;
    m_gutterWidth = 33; // the width of a few digits until the first page is drawn
    m_colorSlots = {};
    setColor(0, 0xffffff);
    m_colorizer->setActive(false);
    setViewText(QStringLiteral("Please Load A File."));
    setNotes(QStringLiteral("Please Load File"));
    resize(640, 480);
    layoutParts();
    computeLines();

    connect(c, &QLineEdit::textChanged, this, &TESSARC::c_Change);
    connect(scroll, &QScrollBar::valueChanged, this, &TESSARC::scroll_Change);
    connect(l, &QToolButton::pressed, TmrSUP, qOverload<>(&QTimer::start));
    connect(l, &QToolButton::released, TmrSUP, &QTimer::stop);
    connect(r, &QToolButton::pressed, TmrSDOWN, qOverload<>(&QTimer::start));
    connect(r, &QToolButton::released, TmrSDOWN, &QTimer::stop);
    connect(TmrSUP, &QTimer::timeout, this, &TESSARC::TmrSUP_Timer);
    connect(TmrSDOWN, &QTimer::timeout, this, &TESSARC::TmrSDOWN_Timer);
    connect(progressbar, &tessarc::ProgressBox::released, this, &TESSARC::progressbar_MouseUp);
    connect(txtmain, &QPlainTextEdit::textChanged, this, &TESSARC::queueChange);
    m_typingPause = new QTimer(this);
    m_typingPause->setSingleShot(true);
    m_typingPause->setInterval(2000);
    connect(m_typingPause, &QTimer::timeout, this, &TESSARC::writeBackWhileIdle);
    connect(txtmain, &tessarc::PageView::mouseDown, this, &TESSARC::MouseDown);
    connect(txtmain, &tessarc::PageView::wheelTurned, this, &TESSARC::wheelTurned);
    connect(txtmain, &QPlainTextEdit::cursorPositionChanged, this, &TESSARC::highlightCurrentLine);
    connect(txtmain, &QPlainTextEdit::selectionChanged, this, &TESSARC::highlightCurrentLine);
    txtmain->keyHook = [this](QKeyEvent *ev) { return txtmain_KeyDown(ev); };
    txtmain->afterKeyHook = [this]() { flushPendingChange(); };
}

TESSARC::~TESSARC()
{
    delete m_pump;
}

void TESSARC::setPrompts(tessarc::ControlPrompts *prompts)
{
    m_prompts = prompts ? prompts : &defaultPrompts();
}

void TESSARC::report(const QString &routine, const ControlError &error, int step)
{
    // An error from the program's own routines says where it happened. What happened (and what
    // to do) comes first; the routine, the error number and the step follow, for a report.
    const bool placed = !error.routine().isEmpty();
    const QString title = QStringLiteral("TESSARC1 - ") + (placed ? error.routine() : routine);
    QString what = error.description();
    if (!what.endsWith(QLatin1Char('.')))
        what += QLatin1Char('.');
    m_prompts->warning(this, title,
                       what + QStringLiteral("\r\n\r\nFor a report: ") + title + QStringLiteral(", Unexpected error - ") +
                           QString::number(error.number()) + QStringLiteral(", LINE: ") +
                           QString::number(placed ? error.step() : step) + QLatin1Char('.'));
}

// ---------------------------------------------------------------- small helpers

void TESSARC::setNotes(const QString &text)
{
    Notes->setText(text);
    Notes->setToolTip(text);
}

void TESSARC::setViewText(const QString &text)
{
    const bool was = m_settingText;
    m_settingText = true;
    txtmain->setPlainText(text);
    m_settingText = was;
    m_changePending = false;
    if (!was)
        highlightCurrentLine();
}

double TESSARC::cValue() const
{
    return m_boxLine;
}

void TESSARC::setCText(qint64 value)
{
    c->setText(QString::number(value));
}

void TESSARC::showInBox(qint64 value)
{
    m_boxLine = static_cast<double>(value);
    const QSignalBlocker block(c);
    if (value == 0)
        c->clear();
    else
        c->setText(QString::number(value));
}

int TESSARC::numberOfLines() const
{
    return clampToInt(static_cast<double>(m_program.lineCount()));
}

void TESSARC::showNoProgram()
{
    lfile.clear();
    m_colorizer->setActive(false);
    setViewText(QStringLiteral("Please Load A File."));
    m_shownText.clear();
    m_pageRecords = 0;
    showInBox(0);
    const qint64 before = m_program.lineCount();
    {
        const QSignalBlocker block(&m_program);
        m_program.setLineCount(0);
    }
    if (before > 0)
        m_program.tellReplaced(before);
    t->clear();
    formatT->clear();
    lineNumbers->setCaption(QString());
}

// ---------------------------------------------------------------- loading and saving

bool TESSARC::loadFile(const QString &filename)
{
    QElapsedTimer clock;
    clock.start();
    if (!m_program.lock.take())
        return false;
    int step = 30;
    try {
        lfile.clear();
        setViewText(QString());
        c->setText(kNoCount);
        m_shownText.clear();
        m_pageRecords = 0;
        step = 50;
        curLine = 1;
        m_program.load(filename, [this](qint64 done, qint64 total) {
            showProgress(percentOf(done, total));
            m_pump->maybe();
        });
        step = 80;
        c->setText(QStringLiteral("1"));
        step = 90;
        m_program.lock.release();
        m_pump->now();
        loadLine(clampToInt(cValue()));
        step = 100;
        const qint64 seconds = roundEven(static_cast<double>(clock.elapsed()) / 1000.0);
        setNotes(lfile + QStringLiteral(" Loaded.") + QStringLiteral(" (") + QString::number(seconds) +
                 QStringLiteral(" seconds)"));
        if (txtmain->isVisible())
            txtmain->setFocus(); // ready for the keys, on the program's first page
        return true;
    } catch (const ControlError &error) {
        report(QStringLiteral("LoadFile"), error, step);
        m_program.removeStores();
        showNoProgram();
        setNotes(QStringLiteral("Please Load File"));
        m_program.lock.release();
        return false;
    }
}

bool TESSARC::saveFile(const QString &where2save)
{
    QElapsedTimer clock;
    clock.start();
    if (Run)
        return false;
    if (lfile.isEmpty()) {
        m_prompts->beep();
        return false;
    }
    m_program.lock.take();
    int step = 40;
    try {
        setNotes(QStringLiteral("Preparing Save"));
        step = 50;
        writeBack();
        m_program.save(where2save, [this](qint64 done, qint64 total) {
            showProgress(percentOf(done, total));
            m_pump->maybe();
        });
        const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        setNotes(where2save + QStringLiteral(" Saved.") + QStringLiteral(" (") + QString::number(seconds, 'f', 2) +
                 QStringLiteral(" seconds)"));
        m_program.lock.release();
        return true;
    } catch (const ControlError &error) {
        report(QStringLiteral("SaveFile"), error, step);
        setNotes(QStringLiteral("Not saved: ") + where2save);
        m_program.lock.release();
        return false;
    }
}

bool TESSARC::openRecovered(const tessarc::ProgramJournal &journal, QString &lost)
{
    if (!m_program.lock.take())
        return false;
    try {
        lfile.clear();
        setViewText(QString());
        c->setText(kNoCount);
        m_shownText.clear();
        m_pageRecords = 0;
        curLine = 1;
        m_program.recover(journal, lost, [this](qint64 done, qint64 total) {
            showProgress(percentOf(done, total));
            m_pump->maybe();
        });
        c->setText(QStringLiteral("1"));
        m_program.lock.release();
        m_pump->now();
        loadLine(1);
        setNotes(lfile + QStringLiteral(" Recovered."));
        return true;
    } catch (const ControlError &error) {
        report(QStringLiteral("Recover"), error, 0);
        showNoProgram();
        setNotes(QStringLiteral("Please Load File"));
        m_program.lock.release();
        return false;
    }
}

void TESSARC::reportProgress(qint64 done, qint64 total)
{
    showProgress(percentOf(done, total));
    m_pump->maybe();
}

void TESSARC::showProgress(qint64 percentage)
{
    if (percentage == m_lastPercent)
        return;
    m_lastPercent = percentage;
    progressbar->draw(percentage);
    if (!lfile.isEmpty()) {
        const QFileInfo info(lfile);
        setNotes(QString::number(percentage) + QStringLiteral("%") + QStringLiteral("  ") +
                 (info.exists() ? info.fileName() : QString()));
    } else {
        setNotes(QString::number(percentage) + QStringLiteral("%"));
    }
}

// ---------------------------------------------------------------- the page

void TESSARC::loadLine(int lineNumber)
{
    if (Run)
        return;
    Run = true;
    int step = 20;
    try {
        const int total = numberOfLines();
        // An empty program still has its (empty) first page, so what is typed into it is kept.
        const bool valid = (lineNumber >= 1 && lineNumber <= total) ||
                           (lineNumber == 1 && total == 0 && !lfile.isEmpty());
        if (!valid) {
            Run = false;
            return;
        }
        step = 30;
        writeBack();
        step = 40;
        showPage(LineNumber(lineNumber));
        step = 60;
        showProgress(percentOf(curLine, numberOfLines()));
        step = 70;
        drawLineNumbers();
        Run = false;
    } catch (const ControlError &error) {
        report(QStringLiteral("LoadLine"), error, step);
        Run = false;
    }
}

bool TESSARC::pageIsStored() const
{
    return lfile.isEmpty() || txtmain->pageText() == m_shownText;
}

void TESSARC::writeBack()
{
    const QStringList page = txtmain->pageLines();
    if (page.join(QStringLiteral("\r\n")) == m_shownText)
        return;
    // The lines the page stood for when it was shown (a full page, or what was left of the
    // program), or when it was last written back while it stayed on screen.
    const qint64 shown = m_pageRecords;
    QList<QByteArray> bytes;
    bytes.reserve(page.size());
    for (const QString &line : page)
        bytes.append(toStoreBytes(line));
    // What the page replaces is kept for Undo once the page is written.
    const LineNumber first(curLine);
    tessarc::ChangeRecord change(m_program, m_writeBackName, first);
    const QList<QByteArray> old = m_program.readLines(first, shown);
    m_program.replaceLines(first, shown, bytes);
    change.keepLines(first, old, bytes.size());
    change.finish();
    m_pageRecords = bytes.size();
    m_writeBackName = QStringLiteral("Typing");
}

void TESSARC::writeBackWhileIdle()
{
    // Typing has paused: the page goes to the store, so a crash now loses nothing typed. The view
    // is left as it is (caret, selection, the page on screen).
    if (Run || lfile.isEmpty() || pageIsStored())
        return;
    try {
        writeBack();
        m_shownText = txtmain->pageText();
        if (m_idleWriteFailed)
            setNotes(QStringLiteral("Typing stored."));
        m_idleWriteFailed = false;
    } catch (const ControlError &error) {
        // The page stays unstored and is tried again at the next pause; the machinist is told at
        // once (the first time, not at every pause) that what is typed is not yet safe.
        setNotes(QStringLiteral("Typing not stored: ") + error.description());
        if (!m_idleWriteFailed) {
            m_idleWriteFailed = true;
            report(QStringLiteral("LoadLine"), error, 0);
        }
    }
}

void TESSARC::setTypingPause(int milliseconds)
{
    m_typingPause->setInterval(milliseconds);
}

void TESSARC::showPage(LineNumber top)
{
    QByteArray joined;
    const QList<QByteArray> records = m_program.readLines(top, lines);
    for (qsizetype k = 0; k < records.size(); ++k) {
        if (k > 0)
            joined.append('\n');
        joined.append(tessarc::controlToNotation(records.at(k)));
    }
    m_colorizer->setActive(true);
    setViewText(QString::fromLatin1(joined));
    curLine = clampToInt(static_cast<double>(top.value));
    m_shownText = txtmain->pageText();
    m_pageRecords = records.size();
}

void TESSARC::ChangeLineCount(int newNumberOfLines)
{
    loadLine(curLine);
    // The host changed the store itself: every line may have changed.
    const qint64 before = m_program.lineCount();
    m_program.setLineCount(std::max(0, newNumberOfLines));
    m_program.tellReplaced(before);
    const int total = numberOfLines();
    if (total < 1) {
        // No line is left to show: the page empties rather than keep lines that are gone.
        if (!Run) {
            showInBox(1);
            curLine = 1;
            m_colorizer->setActive(true);
            setViewText(QString());
            m_shownText.clear();
            m_pageRecords = 0;
            drawLineNumbers();
        }
        return;
    }
    int target = curLine;
    if (target > total || target < 1)
        target = std::max(1, total - lines + 1);
    if (target != curLine)
        showInBox(target);
    loadLine(target);
}

void TESSARC::setLine(int Line2go)
{
    setCText(Line2go);
}

void TESSARC::loadDifferentLine(int line)
{
    setCText(line);
}

void TESSARC::previousPage()
{
    if (Run)
        return;
    const double v = cValue();
    if (v - lines - 1 > 0)
        setCText(roundEven(v) - (lines - 1));
    else
        setCText(1);
}

void TESSARC::nextPage()
{
    if (Run)
        return;
    const double v = cValue();
    const qint64 total = numberOfLines();
    if (total > v + lines - 1)
        setCText(roundEven(v) + (lines - 1));
    else
        setCText(total);
}

void TESSARC::pageUp()
{
    previousPage();
}

void TESSARC::pageDown()
{
    nextPage();
}

void TESSARC::c_Change()
{
    m_boxLine = leadingValue(c->text());
    double v = m_boxLine;
    const int total = numberOfLines();
    if (!lfile.isEmpty() && total >= 1 && v > total) {
        // Past the end: the last page, and the box says which line is really at the top.
        v = std::max(1, total - lines + 1);
        showInBox(static_cast<qint64>(v));
    }
    loadLine(clampToInt(v));
    if (v > 0) {
        if (v >= scroll->minimum() && v <= scroll->maximum())
            scroll->setValue(clampToInt(v));
        c->setFocus();
    }
}

void TESSARC::scroll_Change()
{
    setCText(scroll->value());
    txtmain->setFocus();
}

void TESSARC::t_Change()
{
    t->setText(QString::number(m_program.lineCount()));
    formatT->setText(QStringLiteral("  ") + groupThousands(numberOfLines()));
    txtmain->setFocus();
    const int total = numberOfLines();
    if (total >= 1) {
        // The bar reaches every line, however long the program.
        const QSignalBlocker block(scroll);
        scroll->setMaximum(total);
        scroll->setSingleStep(1);
        scroll->setPageStep(total > 75 ? static_cast<int>(total * 0.02) : 1);
        scroll->setMinimum(1);
    }
}

void TESSARC::TmrSUP_Timer()
{
    if (!Run && cValue() > 1)
        setCText(roundEven(cValue()) - 1);
    m_pump->now();
}

void TESSARC::TmrSDOWN_Timer()
{
    if (!Run && numberOfLines() > cValue())
        setCText(roundEven(cValue()) + 1);
    m_pump->now();
}

void TESSARC::progressbar_MouseUp(int x)
{
    if (lfile.isEmpty() || progressbar->width() <= 0)
        return;
    setCText(static_cast<qint64>(static_cast<double>(numberOfLines()) * x / progressbar->width()));
}

bool TESSARC::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Notes && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint onBar = progressbar->mapFrom(this, Notes->mapTo(this, mouse->position().toPoint()));
        progressbar_MouseUp(onBar.x());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool TESSARC::txtmain_KeyDown(QKeyEvent *event)
{
    flushPendingChange();
    const int key = event->key();
    const CharOffset S = txtmain->selStart();
    const int L = txtmain->selLength();
    bool swallow = false;
    PageRow i = txtmain->lineFromChar(S);
    if (key == Qt::Key_Up && i.value == 0) {
        swallow = true;
        if (Run || cValue() <= 1)
            return true;
        setCText(roundEven(cValue()) - 1);
    }
    i = txtmain->lineFromChar(S);
    if (key == Qt::Key_Down && i.value + 1 == lines) {
        swallow = true;
        if (Run || numberOfLines() <= cValue())
            return true;
        setCText(roundEven(cValue()) + 1);
    }
    txtmain->setSelStart(S);
    txtmain->setFocus();
    // After a move by pages the caret stands where typing will go and can be seen: at the start of
    // the page's first line (Ctrl+Home, Page Up), at the start of its last line (Page Down), or at
    // the end of the program (Ctrl+End). Home and End alone move within the line, as anywhere.
    enum class Caret { Kept, FirstRow, LastRow, End } caret = Caret::Kept;
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    switch (key) {
    case Qt::Key_Home:
        if (!ctrl)
            break;
        loadDifferentLine(1);
        caret = Caret::FirstRow;
        break;
    case Qt::Key_End:
        if (!ctrl)
            break;
        loadDifferentLine(std::max(1, numberOfLines() - lines + 1));
        caret = Caret::End;
        break;
    case Qt::Key_PageUp:
        pageUp();
        caret = Caret::FirstRow;
        break;
    case Qt::Key_PageDown:
        pageDown();
        caret = Caret::LastRow;
        break;
    default:
        break;
    }
    if (caret == Caret::Kept) {
        txtmain->setSelStart(S);
        txtmain->setSelLength(L);
    } else {
        swallow = true;
        const int lastRow = std::max(0, txtmain->document()->blockCount() - 1);
        if (caret == Caret::End)
            txtmain->moveCursor(QTextCursor::End);
        else
            txtmain->setSelStart(caret == Caret::FirstRow ? CharOffset(0) : txtmain->lineStart(PageRow(lastRow)));
    }
    txtmain->setFocus();
    return swallow;
}

void TESSARC::queueChange()
{
    if (m_settingText || Run)
        return;
    m_typingPause->start();
    // The document is still inside its own edit when it reports a change, so the page is looked at
    // once the edit is over: right after the key that made it, or on the next pass of the event loop.
    if (!m_changePending) {
        m_changePending = true;
        QMetaObject::invokeMethod(this, &TESSARC::flushPendingChange, Qt::QueuedConnection);
    }
}

void TESSARC::flushPendingChange()
{
    if (!m_changePending)
        return;
    m_changePending = false;
    txtmain_Change();
}

void TESSARC::txtmain_Change()
{
    if (m_settingText || Run)
        return;
    const CharOffset S = txtmain->selStart();
    const int n = txtmain->document()->blockCount();
    const qint64 total = numberOfLines();
    const qint64 left = total - curLine + 1; // lines from the top of the page to the end of the program
    const bool changed = (n != lines && n != left) || (n == lines && left == lines - 1);
    if (!changed)
        return; // the line is recoloured as it is laid out again
    const PageRow K = txtmain->lineFromChar(CharOffset(S.value + txtmain->selLength()));
    const bool A = total - curLine < n - 1;
    const bool B = total + 2 == static_cast<qint64>(lines) + curLine;
    const bool scrollDown = K.value == lines && (n > lines || (B && n == lines) || A);
    loadLine(curLine);
    txtmain->setSelStart(S);
    if (scrollDown) {
        if (Run)
            return;
        setCText(roundEven(cValue()) + 1);
        txtmain->setSelStart(S);
        const PageRow endRow = txtmain->lineFromChar(CharOffset(txtmain->selStart().value + txtmain->selLength()));
        txtmain->setSelStart(txtmain->lineStart(endRow));
    }
    if (txtmain->isEnabled() && txtmain->isVisible())
        txtmain->setFocus();
}

// ---------------------------------------------------------------- colouring

void TESSARC::assigncolors(int i, int c_, const QString &a)
{
    if (i < 0 || i > 7)
        throw ControlError(ControlError::SubscriptOutOfRange, QStringLiteral("Subscript out of range"));
    QString letters = a;
    letters.remove(QLatin1Char(' '));
    m_colorSlots[static_cast<size_t>(i)] = {letters, c_ & 0xffffff};
}

void TESSARC::color()
{
    drawLineNumbers();
    m_colorizer->rehighlight();
}

void TESSARC::colorLine(int line2color)
{
    m_colorizer->rehighlightBlock(txtmain->document()->findBlockByNumber(line2color));
}

void TESSARC::ColorCommentsLine(int line2color)
{
    colorLine(line2color);
}

void TESSARC::drawLineNumbers()
{
    const QFontMetrics fm(lineNumbers->font());
    m_gutterWidth = fm.horizontalAdvance(QString::number(static_cast<qint64>(curLine) + lines)) + 8;
    layoutParts();
    const qint64 total = numberOfLines();
    QString caption;
    for (int i = 1; i <= lines; ++i) {
        const qint64 line = static_cast<qint64>(curLine) + i - 1;
        if (line >= 1 && line <= total)
            caption += QString::number(line);
        if (i < lines)
            caption += QStringLiteral("\r\n");
    }
    lineNumbers->setCaption(caption);
}

void TESSARC::highlightCurrentLine()
{
    // Not while the page's text is replaced: the document tells of the caret's move from inside
    // its clearing, where putting new cursors in the marks frees cursors it still holds. The line
    // is marked once the text is in.
    if (m_settingText)
        return;
    // A light tint of the page's own ground, so it reads on any background.
    const QColor ground = tessarc::toQColor(m_backColor);
    const QColor tint = ground.lightness() > 128 ? QColor(40, 110, 220) : QColor(255, 255, 255);
    const double share = ground.lightness() > 128 ? 0.12 : 0.18;
    const auto mixed = [&](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * share)); };
    QTextEdit::ExtraSelection line;
    line.format.setBackground(QColor(mixed(ground.red(), tint.red()), mixed(ground.green(), tint.green()),
                                     mixed(ground.blue(), tint.blue())));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = txtmain->textCursor();
    line.cursor.clearSelection();
    QList<QTextEdit::ExtraSelection> marks{line};
    // The selection stays marked while another window has the keyboard (the tool window whose
    // hit it is), where the page alone would no longer draw it.
    if (txtmain->textCursor().hasSelection()) {
        QTextEdit::ExtraSelection selected;
        selected.cursor = txtmain->textCursor();
        selected.format.setBackground(txtmain->palette().color(QPalette::Active, QPalette::Highlight));
        selected.format.setForeground(txtmain->palette().color(QPalette::Active, QPalette::HighlightedText));
        marks.append(selected);
    }
    txtmain->setExtraSelections(marks);
    lineNumbers->setCurrentRow(lfile.isEmpty() ? -1 : txtmain->textCursor().blockNumber());
    const qint64 caret = caretLine();
    if (caret != m_caretLine) {
        m_caretLine = caret;
        emit caretLineChanged(caret);
    }
}

qint64 TESSARC::caretLine() const
{
    if (lfile.isEmpty())
        return 0;
    return std::min<qint64>(static_cast<qint64>(curLine) + txtmain->textCursor().blockNumber(), numberOfLines());
}

void TESSARC::showLineWithCaret(qint64 line)
{
    if (lfile.isEmpty() || line < 1 || line > numberOfLines())
        return;
    setLine(static_cast<int>(line));
    const QTextBlock block = txtmain->document()->findBlockByNumber(static_cast<int>(line - curLine));
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    txtmain->setTextCursor(cursor);
    highlightCurrentLine();
}

void TESSARC::setColor(int fcolor, int bcolor)
{
    m_textColor = fcolor & 0xffffff;
    m_backColor = bcolor & 0xffffff;
    QPalette pal = txtmain->palette();
    pal.setColor(QPalette::Text, tessarc::toQColor(m_textColor));
    pal.setColor(QPalette::Base, tessarc::toQColor(m_backColor));
    txtmain->setPalette(pal);
    lineNumbers->setColors(Qt::white, Qt::black);
    highlightCurrentLine();
}

void TESSARC::setfont(bool fontbold, bool fontitalic, const QString &fontname, int fontsize, bool fontstrikethru,
                      bool fontunderline)
{
    QFont font(fontname);
    if (fontsize > 0)
        font.setPointSize(fontsize);
    font.setBold(fontbold);
    font.setItalic(fontitalic);
    font.setStrikeOut(fontstrikethru);
    font.setUnderline(fontunderline);
    txtmain->setFont(font);
    lineNumbers->setFont(font);
    loadLine(clampToInt(cValue()));
    computeLines();
    loadLine(clampToInt(cValue()));
}

// ---------------------------------------------------------------- layout

void TESSARC::computeLines()
{
    // The height of a line as the view lays it out: "Xyz" in the view's font, in a document of the
    // view's own kind.
    QTextDocument probe;
    probe.setDefaultFont(txtmain->font());
    probe.setDocumentLayout(new QPlainTextDocumentLayout(&probe));
    probe.setDocumentMargin(0);
    probe.setPlainText(QStringLiteral("Xyz"));
    const qreal measured = probe.documentLayout()->blockBoundingRect(probe.begin()).height();
    const int lineHeight = std::max(1, static_cast<int>(std::ceil(measured)));
    // Room for the lines: the view less its frame, its margins and a horizontal scroll bar (held
    // back always, so the page size does not change when a long line appears).
    const int frame = 2 * txtmain->frameWidth();
    const int margin = 2 * static_cast<int>(txtmain->document()->documentMargin());
    const int hbar = txtmain->horizontalScrollBar()->sizeHint().height();
    const int room = txtmain->height() - frame - margin - hbar - 4;
    lines = std::max(1, room / lineHeight);
}

int TESSARC::statusWidth(const QWidget *part, const QString &text)
{
    return part->fontMetrics().horizontalAdvance(text) + 12;
}

void TESSARC::layoutParts()
{
    const int W = width();
    const int H = height();
    const int viewH = std::max(0, H - m_bottomMargin);
    txtmain->setGeometry(m_gutterWidth, 0, std::max(0, W - m_rightMargin - m_gutterWidth), viewH);
    lineNumbers->setGeometry(0, 0, m_gutterWidth, viewH);
    const int x = W - m_rightMargin;
    // The bar's own arrows step one line, as l and r do: those two stay off the screen, so the bar
    // shows one pair of arrows.
    scroll->setGeometry(x, 0, m_rightMargin, viewH);
    // The status strip: the top-line box, the total and the brand keep room for their text; the
    // progress bar with its notes takes what is left.
    const int y = viewH;
    const int cW = std::max(static_cast<int>(W * 0.15), statusWidth(c, kNoCount));
    const int tW = std::max(static_cast<int>(W * 0.15), statusWidth(formatT, QStringLiteral("  2,147,483,647")));
    const int eW = std::max(static_cast<int>(W * 0.1), statusWidth(e, e->text()));
    const int pW = std::max(0, W - cW - tW - eW);
    c->setGeometry(0, y, cW, m_bottomMargin);
    t->setGeometry(cW, y, tW, m_bottomMargin);
    formatT->setGeometry(cW, y, tW, m_bottomMargin);
    progressbar->setGeometry(cW + tW, y, pW, m_bottomMargin);
    Notes->setGeometry(cW + tW, y, pW, m_bottomMargin);
    e->setGeometry(cW + tW + pW, y, W - cW - tW - pW, m_bottomMargin);
    // The least width that holds the strip's text, whatever the width now (a share of it would
    // keep the window from being made much narrower at once).
    setMinimumWidth(statusWidth(c, kNoCount) + statusWidth(formatT, QStringLiteral("  2,147,483,647")) +
                    statusWidth(e, e->text()) + statusWidth(Notes, QStringLiteral("100%")) + m_gutterWidth);
    lineNumbers->update();
}

void TESSARC::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (height() < m_bottomMargin + 2)
        return;
    layoutParts();
    // The page is shown again for its new size; the caret and the selection (a hit, say) stay
    // where they were when the page still starts at the same line.
    const int top = curLine;
    const int anchor = txtmain->textCursor().anchor();
    const int position = txtmain->textCursor().position();
    loadLine(clampToInt(cValue()));
    computeLines();
    loadLine(clampToInt(cValue()));
    if (!lfile.isEmpty() && curLine == top && txtmain->textCursor().position() != position) {
        const int end = std::max(0, txtmain->document()->characterCount() - 1);
        QTextCursor cursor(txtmain->document());
        cursor.setPosition(std::min(anchor, end));
        cursor.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
        txtmain->setTextCursor(cursor);
    }
}

void TESSARC::wheelEvent(QWheelEvent *event)
{
    event->accept();
    wheelTurned(event->angleDelta().y());
}

void TESSARC::wheelTurned(int delta)
{
    // Three lines a notch, through the top-line box like every other move.
    if (Run || lfile.isEmpty())
        return;
    m_wheelDelta += delta;
    const int notches = m_wheelDelta / 120;
    if (notches == 0)
        return;
    m_wheelDelta -= notches * 120;
    const qint64 target = std::clamp<qint64>(roundEven(cValue()) - 3 * notches, 1, std::max(1, numberOfLines()));
    setCText(target);
    txtmain->setFocus();
}

// ---------------------------------------------------------------- the rest of the interface

void TESSARC::lockup(bool yesno)
{
    txtmain->setReadOnly(yesno);
    c->setReadOnly(yesno);
}

void TESSARC::selectText(double startSel, double lengthSel)
{
    txtmain->setSelStart(CharOffset(clampToInt(startSel)));
    txtmain->setSelLength(clampToInt(lengthSel));
    txtmain->setFocus();
}

QString TESSARC::getSel() const
{
    return txtmain->selText();
}

void TESSARC::done()
{
    m_program.removeStores();
}

void TESSARC::cut()
{
    QGuiApplication::clipboard()->setText(getSel());
    txtmain->textCursor().removeSelectedText();
    flushPendingChange();
}

void TESSARC::copy()
{
    QGuiApplication::clipboard()->setText(getSel());
}

void TESSARC::paste()
{
    QString text = QGuiApplication::clipboard()->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_settingText = true;
    txtmain->textCursor().insertText(text);
    m_settingText = false;
    m_writeBackName = QStringLiteral("Paste");
    m_changePending = false;
    loadLine(curLine);
}

tessarc::AxisValue TESSARC::getAxisValue(QString &gcaxis, const QString &strLine)
{
    // Words as the colouring reads them: outside the comments of the program's rule.
    return tessarc::getAxisValue(gcaxis, strLine,
                                 tessarc::WordReader(tessarc::CommentRule{startComment, endComment, lineComment}, true));
}

QVariant TESSARC::rebrandE(const QString &txt)
{
    e->setText(txt);
    return QVariant();
}

bool TESSARC::Enabled() const
{
    return txtmain->isEnabled();
}

void TESSARC::setEnabledProperty(bool enabled)
{
    txtmain->setEnabled(enabled);
    emit PropertyChanged(QStringLiteral("Enabled"));
}

WId TESSARC::hwnd() const
{
    return txtmain->winId();
}

void TESSARC::ReadProperties(const QVariantMap &bag)
{
    txtmain->setEnabled(bag.value(QStringLiteral("Enabled"), true).toBool());
}

void TESSARC::WriteProperties(QVariantMap &bag) const
{
    bag.insert(QStringLiteral("Enabled"), txtmain->isEnabled());
}
