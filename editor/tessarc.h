#pragma once

#include "axisvalue.h"
#include "colorruns.h"
#include "controlerror.h"
#include "controlprompts.h"
#include "lineposition.h"
#include "program.h"
#include "tessarc_export.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QWidget>

class QLabel;
class QLineEdit;
class QScrollBar;
class QTimer;
class QToolButton;

namespace tessarc {
class PageView;
class LineGutter;
class ProgressBox;
class EventPump;
class Colorizer;
} // namespace tessarc

// The editor control: the open program (its lines in a disk-backed line store, see
// tessarc::Program) shown a page at a time in an editable view, with the words coloured by letter.
// Edits are written back before another page is shown. The host reads and writes the public members
// freely, and its tools work on the program's store, holding `Run` as the operation lock.
class TESSARC_EXPORT TESSARC : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabledProperty)

public:
    explicit TESSARC(QWidget *parent = nullptr);
    ~TESSARC() override;

private:
    // Declared first: the public members below are the program's own fields.
    tessarc::Program m_program;

public:
    // ---- Public members ----
    int lines = 0;                                // page size: lines the view shows at once
    int curLine = 0;                              // the line at the top of the view, from 1
    QString &lfile = m_program.path;              // the loaded program; empty while none is loaded
    QString &tempFile = m_program.store;          // the line store
    QString &tempFile2 = m_program.scratch;       // the scratch store used while rebuilding
    bool &Run = m_program.lock.held;              // the busy flag and the system's operation lock
    QString startComment;                         // opening comment delimiter
    QString endComment;                           // closing delimiter; empty: a comment runs to the end of the line
    QString lineComment;                          // opens a comment to the end of the line; empty: none
    int &recLen = m_program.recordLength;         // record length of both stores, in bytes
    bool &lfEndsLine = m_program.lfEndsLine;      // a lone line feed ends a line when loading (false: it stays)

    // The program below the view, for hosts that work on it directly.
    tessarc::Program &program() { return m_program; }
    const tessarc::Program &program() const { return m_program; }

    // ---- Methods ----
    // Both report their own failures; the result says whether the program was loaded (saved).
    bool loadFile(const QString &filename);
    bool saveFile(const QString &where2save);
    // Opens the line store a journal describes (at `tempFile`, which the host points at it) as the
    // program, changed and not yet saved. `lost` says what could not be read back. Reports its own
    // failure; the store is then left where it is.
    bool openRecovered(const tessarc::ProgramJournal &journal, QString &lost);
    void loadLine(int lineNumber);
    void lockup(bool yesno);
    int numberOfLines() const;
    void selectText(double startSel, double lengthSel);
    void setLine(int Line2go);
    void loadDifferentLine(int line);
    QString getSel() const;
    void done();
    void ChangeLineCount(int newNumberOfLines);
    void setfont(bool fontbold, bool fontitalic, const QString &fontname, int fontsize, bool fontstrikethru,
                 bool fontunderline);
    void setColor(int fcolor, int bcolor);
    void pageUp();
    void pageDown();
    void cut();
    void copy();
    void paste();
    void assigncolors(int i, int c, const QString &a);
    void color();
    void colorLine(int line2color);
    void ColorCommentsLine(int line2color);
    tessarc::AxisValue getAxisValue(QString &gcaxis, const QString &strLine);
    QVariant rebrandE(const QString &txt);

    // ---- Property, handle and saved property ----
    bool Enabled() const;
    void setEnabledProperty(bool enabled);
    WId hwnd() const;
    // The saved property "Enabled" (default true) read from and written to a property bag.
    void ReadProperties(const QVariantMap &bag);
    void WriteProperties(QVariantMap &bag) const;

    // Shows how far a long piece of work on the program has come, in the progress bar, and lets
    // pending events through now and then (a host's undo, for one).
    void reportProgress(qint64 done, qint64 total);

    // How long typing must pause before the page is written back to the store (milliseconds).
    void setTypingPause(int milliseconds);

    // Where the control's warning boxes and beeps go; null restores the Qt dialogs.
    void setPrompts(tessarc::ControlPrompts *prompts);

    // The colour slots and the default text colour, as the host filled them.
    const tessarc::ColorSlots &colorSlots() const { return m_colorSlots; }
    int textColor() const { return m_textColor; }
    // The view's text right after the last render.
    const QString &shownText() const { return m_shownText; }
    // Whether the store holds the page as the view shows it: false while an edit waits to be
    // written back, and after a write-back was refused (a line too long for its record).
    bool pageIsStored() const;
    int gutterWidth() const { return m_gutterWidth; }
    int bottomMargin() const { return m_bottomMargin; }
    int rightMargin() const { return m_rightMargin; }

    // ---- Constituent parts (their object names are the member names) ----
    tessarc::PageView *txtmain = nullptr;
    tessarc::LineGutter *lineNumbers = nullptr;
    QLineEdit *c = nullptr;
    QLabel *t = nullptr;
    QLabel *formatT = nullptr;
    QScrollBar *scroll = nullptr;
    QToolButton *l = nullptr;
    QToolButton *r = nullptr;
    QTimer *TmrSUP = nullptr;
    QTimer *TmrSDOWN = nullptr;
    tessarc::ProgressBox *progressbar = nullptr;
    QLabel *Notes = nullptr;
    QLabel *e = nullptr;

    // The program line the caret stands on (from 1); 0 with no program open.
    qint64 caretLine() const;
    // Shows line `line` of the program with the caret at its start, as Go To Line does.
    void showLineWithCaret(qint64 line);

signals:
    void MouseDown(int Button, int Shift, float X, float Y);
    // The caret came to another program line: typed, clicked, paged or put there.
    void caretLineChanged(qint64 line);
    // A property marked as changed, for persistence.
    void PropertyChanged(const QString &name);

public slots:
    void c_Change();
    void scroll_Change();
    void TmrSUP_Timer();
    void TmrSDOWN_Timer();
    void progressbar_MouseUp(int x);
    void txtmain_Change();
    void wheelTurned(int delta);
    // The line that holds the caret is drawn on a light ground, in the view and in the gutter.
    void highlightCurrentLine();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showProgress(qint64 percentage);
    void previousPage();
    void nextPage();
    bool txtmain_KeyDown(QKeyEvent *event);
    void t_Change();
    void drawLineNumbers();

    void writeBack();
    void writeBackWhileIdle();
    void layoutParts();
    static int statusWidth(const QWidget *part, const QString &text);
    void computeLines();
    // The line box: the line asked for at the top of the view, kept as a number; typing in the box
    // sets it, setCText() sets it and moves the page, showInBox() sets it and the box only.
    void setCText(qint64 value);
    double cValue() const;
    void showInBox(qint64 value);
    void setNotes(const QString &text);
    void setViewText(const QString &text);
    void showNoProgram();
    void queueChange();
    void flushPendingChange();
    void report(const QString &routine, const tessarc::ControlError &error, int step);
    void showPage(tessarc::LineNumber top);

    tessarc::ControlPrompts *m_prompts;
    tessarc::EventPump *m_pump;
    QString m_shownText;
    qint64 m_pageRecords = 0; // the records the page stands for: what writing it back replaces
    QTimer *m_typingPause = nullptr;
    bool m_idleWriteFailed = false; // the last write-back after a pause in typing failed, and said so
    qint64 m_lastPercent = -1;
    double m_boxLine = 0; // the line box's number (its text as read when typed)
    int m_gutterWidth;
    int m_bottomMargin;
    int m_rightMargin;
    tessarc::ColorSlots m_colorSlots;
    int m_textColor = 0;
    int m_backColor = 0xffffff;
    tessarc::Colorizer *m_colorizer = nullptr;
    bool m_settingText = false; // the view's text is being replaced by the control, not typed
    QString m_writeBackName = QStringLiteral("Typing"); // what the next page write-back is called in the history
    bool m_changePending = false;
    int m_wheelDelta = 0; // wheel movement not yet turned into whole steps
    qint64 m_caretLine = 0; // as last told
};
